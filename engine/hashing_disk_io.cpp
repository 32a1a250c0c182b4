#include "hashing_disk_io.h"

#include <libtorrent/disk_interface.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/settings_pack.hpp>

#include <boost/asio/post.hpp>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace pelmora::engine {
namespace {

using HashHandler =
    std::function<void(lt::piece_index_t, lt::sha1_hash const&, lt::storage_error const&)>;

// The hash of one piece taken from its blocks as they are written.
struct PieceHash {
  lt::storage_index_t storage;
  lt::piece_index_t piece;
  lt::hasher hasher;    // fed by the hashing thread only
  int received = 0;     // bytes from the piece's start handed to the hashing thread
  int queued = 0;       // its blocks waiting for the hashing thread
  int writing = 0;      // its writes not yet done
  bool broken = false;  // a block came out of order, or a write failed: read it back
  HashHandler waiting;  // the hash asked for before its blocks were all hashed and written
  lt::disk_job_flags_t waiting_flags;
};

struct Storage {
  lt::storage_holder inner;
  std::int64_t total_size = 0;
  int piece_length = 0;
  std::map<lt::piece_index_t, std::shared_ptr<PieceHash>> pieces;

  int piece_size(lt::piece_index_t piece) const {
    const std::int64_t start = static_cast<std::int64_t>(static_cast<int>(piece)) * piece_length;
    return static_cast<int>(std::min<std::int64_t>(piece_length, total_size - start));
  }
};

// The most bytes of blocks waiting for the hashing thread.
constexpr std::int64_t kMostQueued = 16 * 1024 * 1024;

// A block on its way to the hashing thread.
struct Block {
  std::shared_ptr<PieceHash> piece;
  std::vector<char> bytes;
};

class HashingDiskIo final : public lt::disk_interface {
 public:
  HashingDiskIo(lt::io_context& ios, std::unique_ptr<lt::disk_interface> inner)
      : ios_(ios), inner_(std::move(inner)), hashing_([this] { hash_blocks(); }) {}

  ~HashingDiskIo() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    hashing_.join();
  }

  lt::storage_holder new_torrent(lt::storage_params const& p,
                                 std::shared_ptr<void> const& torrent) override {
    lt::storage_holder inner = inner_->new_torrent(p, torrent);
    const lt::storage_index_t index = inner;
    std::lock_guard lock(mutex_);
    Storage& storage = storages_[index];
    storage.inner = std::move(inner);
    storage.total_size = p.files.total_size();
    storage.piece_length = p.files.piece_length();
    storage.pieces.clear();
    return lt::storage_holder(index, *this);
  }

  void remove_torrent(lt::storage_index_t index) override {
    lt::storage_holder inner;
    {
      std::lock_guard lock(mutex_);
      const auto found = storages_.find(index);
      if (found == storages_.end()) return;
      inner = std::move(found->second.inner);
      storages_.erase(found);
    }
    // Leaving this scope hands the storage back to the inner disk input and output.
  }

  bool async_write(lt::storage_index_t index, lt::peer_request const& r, char const* buf,
                   std::shared_ptr<lt::disk_observer> o,
                   std::function<void(lt::storage_error const&)> handler,
                   lt::disk_job_flags_t flags) override {
    bool queued = false;
    {
      std::lock_guard lock(mutex_);
      if (const auto storage = storages_.find(index); storage != storages_.end()) {
        auto& slot = storage->second.pieces[r.piece];
        if (!slot) {
          slot = std::make_shared<PieceHash>();
          slot->storage = index;
          slot->piece = r.piece;
        }
        PieceHash& piece = *slot;
        // Blocks out of order, or more than the hashing thread has taken up, are read back.
        if (!piece.broken && r.start == piece.received && queued_bytes_ < kMostQueued) {
          piece.received += r.length;
          ++piece.queued;
          queued_bytes_ += r.length;
          blocks_.push_back({slot, std::vector<char>(buf, buf + r.length)});
          queued = true;
        } else {
          piece.broken = true;
        }
        ++piece.writing;
      }
    }
    if (queued) wake_.notify_one();
    return inner_->async_write(
        index, r, buf, std::move(o),
        [this, index, piece = r.piece, handler = std::move(handler)](lt::storage_error const& e) {
          handler(e);
          written(index, piece, static_cast<bool>(e));
        },
        flags);
  }

  void async_hash(lt::storage_index_t index, lt::piece_index_t piece, lt::span<lt::sha256_hash> v2,
                  lt::disk_job_flags_t flags, HashHandler handler) override {
    {
      std::lock_guard lock(mutex_);
      const auto storage = storages_.find(index);
      if (storage != storages_.end() && v2.empty() && (flags & lt::disk_interface::v1_hash)) {
        const auto found = storage->second.pieces.find(piece);
        if (found != storage->second.pieces.end()) {
          const std::shared_ptr<PieceHash> state = found->second;
          if (!state->broken && !state->waiting &&
              state->received == storage->second.piece_size(piece)) {
            state->waiting = std::move(handler);
            state->waiting_flags = flags;
            answer_if_done(index, piece, *state);
            return;
          }
          storage->second.pieces.erase(found);
        }
      }
    }
    inner_->async_hash(index, piece, v2, flags, std::move(handler));
  }

  void async_clear_piece(lt::storage_index_t index, lt::piece_index_t piece,
                         std::function<void(lt::piece_index_t)> handler) override {
    {
      std::lock_guard lock(mutex_);
      const auto storage = storages_.find(index);
      if (storage != storages_.end()) storage->second.pieces.erase(piece);
    }
    inner_->async_clear_piece(index, piece, std::move(handler));
  }

  // Everything else is the inner disk input and output's.
  void async_read(lt::storage_index_t index, lt::peer_request const& r,
                  std::function<void(lt::disk_buffer_holder, lt::storage_error const&)> handler,
                  lt::disk_job_flags_t flags) override {
    inner_->async_read(index, r, std::move(handler), flags);
  }
  void async_hash2(
      lt::storage_index_t index, lt::piece_index_t piece, int offset, lt::disk_job_flags_t flags,
      std::function<void(lt::piece_index_t, lt::sha256_hash const&, lt::storage_error const&)>
          handler) override {
    inner_->async_hash2(index, piece, offset, flags, std::move(handler));
  }
  void async_move_storage(
      lt::storage_index_t index, std::string p, lt::move_flags_t flags,
      std::function<void(lt::status_t, std::string const&, lt::storage_error const&)> handler)
      override {
    inner_->async_move_storage(index, std::move(p), flags, std::move(handler));
  }
  void async_release_files(lt::storage_index_t index, std::function<void()> handler) override {
    inner_->async_release_files(index, std::move(handler));
  }
  void async_check_files(
      lt::storage_index_t index, lt::add_torrent_params const* resume_data,
      lt::aux::vector<std::string, lt::file_index_t> links,
      std::function<void(lt::status_t, lt::storage_error const&)> handler) override {
    inner_->async_check_files(index, resume_data, std::move(links), std::move(handler));
  }
  void async_stop_torrent(lt::storage_index_t index, std::function<void()> handler) override {
    inner_->async_stop_torrent(index, std::move(handler));
  }
  void async_rename_file(
      lt::storage_index_t index, lt::file_index_t file, std::string name,
      std::function<void(std::string const&, lt::file_index_t, lt::storage_error const&)> handler)
      override {
    inner_->async_rename_file(index, file, std::move(name), std::move(handler));
  }
  void async_delete_files(lt::storage_index_t index, lt::remove_flags_t options,
                          std::function<void(lt::storage_error const&)> handler) override {
    inner_->async_delete_files(index, options, std::move(handler));
  }
  void async_set_file_priority(
      lt::storage_index_t index, lt::aux::vector<lt::download_priority_t, lt::file_index_t> prio,
      std::function<void(lt::storage_error const&,
                         lt::aux::vector<lt::download_priority_t, lt::file_index_t>)>
          handler) override {
    inner_->async_set_file_priority(index, std::move(prio), std::move(handler));
  }
  void update_stats_counters(lt::counters& c) const override { inner_->update_stats_counters(c); }
  std::vector<lt::open_file_state> get_status(lt::storage_index_t index) const override {
    return inner_->get_status(index);
  }
  void abort(bool wait) override { inner_->abort(wait); }
  void submit_jobs() override { inner_->submit_jobs(); }
  void settings_updated() override { inner_->settings_updated(); }

 private:
  // A write of `piece` is done; after a failed one the piece is read back to be hashed.
  void written(lt::storage_index_t index, lt::piece_index_t piece, bool failed) {
    std::lock_guard lock(mutex_);
    const auto storage = storages_.find(index);
    if (storage == storages_.end()) return;
    const auto found = storage->second.pieces.find(piece);
    if (found == storage->second.pieces.end()) return;
    --found->second->writing;
    if (failed) found->second->broken = true;
    answer_if_done(index, piece, *found->second);
  }

  // Hands over the hash that was asked for `piece` once its blocks are all hashed and written.
  // Called locked; the answer goes through the network thread.
  void answer_if_done(lt::storage_index_t index, lt::piece_index_t piece, PieceHash& state) {
    if (!state.waiting || state.writing > 0 || state.queued > 0) return;
    HashHandler handler = std::move(state.waiting);
    const lt::disk_job_flags_t flags = state.waiting_flags;
    const bool read_back = state.broken;
    const lt::sha1_hash digest = read_back ? lt::sha1_hash() : state.hasher.final();
    if (const auto storage = storages_.find(index); storage != storages_.end()) {
      storage->second.pieces.erase(piece);
    }
    boost::asio::post(ios_, [this, index, piece, flags, read_back, digest,
                             handler = std::move(handler)]() mutable {
      if (read_back) {
        inner_->async_hash(index, piece, {}, flags, std::move(handler));
        inner_->submit_jobs();
      } else {
        handler(piece, digest, lt::storage_error());
      }
    });
  }

  // The hashing thread: feeds each piece's hasher with its blocks in the order they came.
  void hash_blocks() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !blocks_.empty(); });
      if (stopping_) return;
      Block block = std::move(blocks_.front());
      blocks_.pop_front();
      lock.unlock();
      block.piece->hasher.update(
          {block.bytes.data(), static_cast<std::ptrdiff_t>(block.bytes.size())});
      lock.lock();
      --block.piece->queued;
      queued_bytes_ -= static_cast<std::int64_t>(block.bytes.size());
      finished_block(*block.piece);
    }
  }

  // After a block is hashed: answers the hash of its piece if that was waiting for it. Called
  // locked.
  void finished_block(PieceHash& state) {
    if (!state.waiting) return;
    const auto storage = storages_.find(state.storage);
    if (storage == storages_.end()) return;
    const auto found = storage->second.pieces.find(state.piece);
    if (found != storage->second.pieces.end() && found->second.get() == &state) {
      answer_if_done(state.storage, state.piece, state);
    }
  }

  lt::io_context& ios_;
  std::unique_ptr<lt::disk_interface> inner_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::deque<Block> blocks_;
  std::int64_t queued_bytes_ = 0;
  std::map<lt::storage_index_t, Storage> storages_;
  std::thread hashing_;  // last: it starts once the members above exist
};

}  // namespace

std::unique_ptr<lt::disk_interface> hashing_disk_io_constructor(lt::io_context& ios,
                                                                lt::settings_interface const& s,
                                                                lt::counters& c) {
  return std::make_unique<HashingDiskIo>(ios, lt::mmap_disk_io_constructor(ios, s, c));
}

}  // namespace pelmora::engine
