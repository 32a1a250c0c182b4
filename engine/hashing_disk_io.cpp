#include "hashing_disk_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <libtorrent/disk_buffer_holder.hpp>
#include <libtorrent/disk_interface.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/settings_pack.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace pelmora::engine {
namespace {

using HashHandler =
    std::function<void(lt::piece_index_t, lt::sha1_hash const&, lt::storage_error const&)>;
using ReadHandler = std::function<void(lt::disk_buffer_holder, lt::storage_error const&)>;

// The hash of one piece taken from its blocks as they are written.
struct PieceHash {
  lt::storage_index_t storage;
  lt::piece_index_t piece;
  lt::hasher hasher;    // fed by the worker thread only
  int received = 0;     // bytes from the piece's start handed to the worker thread
  int queued = 0;       // its blocks waiting for the worker thread
  int writing = 0;      // its writes not yet done
  bool broken = false;  // a block came out of order, or a write failed: read it back
  HashHandler waiting;  // the hash asked for before its blocks were all hashed and written
};

struct Storage {
  lt::storage_holder inner;
  lt::file_storage files;  // the files as they are named on disk (renames followed)
  std::string save_path;   // moves followed
  std::map<lt::piece_index_t, std::shared_ptr<PieceHash>> pieces;
};

// A part of a read that lies in one file.
struct FilePart {
  lt::file_index_t file;
  std::string path;  // empty for a pad file, which reads as zeros
  std::int64_t offset = 0;
  int size = 0;
};

// A read on the worker thread: the parts of the storage's files it covers, as they were named
// when it was asked for.
struct Read {
  lt::storage_index_t storage;
  std::vector<FilePart> parts;
};

// The most bytes of blocks waiting for the worker thread.
constexpr std::int64_t kMostQueued = 16 * 1024 * 1024;

struct FreeBuffer {
  void operator()(char* buffer) const { std::free(buffer); }
};
using Buffer = std::unique_ptr<char, FreeBuffer>;

class HashingDiskIo final : public lt::disk_interface, public lt::buffer_allocator_interface {
 public:
  HashingDiskIo(lt::io_context& ios, std::unique_ptr<lt::disk_interface> inner)
      : ios_(ios), inner_(std::move(inner)), worker_([this] { work(); }) {}

  ~HashingDiskIo() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    for (const auto& [key, fd] : open_files_) ::close(fd);
  }

  void free_disk_buffer(char* buffer) override { std::free(buffer); }

  lt::storage_holder new_torrent(lt::storage_params const& p,
                                 std::shared_ptr<void> const& torrent) override {
    lt::storage_holder inner = inner_->new_torrent(p, torrent);
    const lt::storage_index_t index = inner;
    std::lock_guard lock(mutex_);
    Storage& storage = storages_[index];
    storage.inner = std::move(inner);
    storage.files = p.mapped_files != nullptr ? *p.mapped_files : p.files;
    storage.save_path = p.path;
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
      let_go_locked(index);
    }
    wake_.notify_one();
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
        const std::shared_ptr<PieceHash>& slot = piece_state(index, storage->second, r.piece);
        PieceHash& piece = *slot;
        // Blocks out of order, or more than the worker thread has taken up, are read back.
        if (!piece.broken && r.start == piece.received && queued_bytes_ < kMostQueued) {
          piece.received += r.length;
          ++piece.queued;
          queued_bytes_ += r.length;
          jobs_.push_back([this, slot, bytes = std::vector<char>(buf, buf + r.length)] {
            hash_block(*slot, bytes);
          });
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
    if (!v2.empty() || !(flags & lt::disk_interface::v1_hash)) {
      inner_->async_hash(index, piece, v2, flags, std::move(handler));
      return;
    }
    {
      std::unique_lock lock(mutex_);
      const auto storage = storages_.find(index);
      if (storage == storages_.end()) {
        lock.unlock();
        inner_->async_hash(index, piece, v2, flags, std::move(handler));
        return;
      }
      PieceHash& state = *piece_state(index, storage->second, piece);
      // A second question for the same piece, or blocks still missing (none of them written
      // here: a check of the file): read back.
      if (state.waiting || state.received != storage->second.files.piece_size(piece)) {
        state.broken = true;
      }
      if (state.waiting) {
        // Not expected of the library; the earlier question is answered by a read of its own.
        queue_read_back(index, storage->second, piece, std::move(state.waiting));
      }
      state.waiting = std::move(handler);
      answer_if_done(index, piece, state);
    }
    wake_.notify_one();
  }

  void async_read(lt::storage_index_t index, lt::peer_request const& r, ReadHandler handler,
                  lt::disk_job_flags_t flags) override {
    {
      std::unique_lock lock(mutex_);
      const auto storage = storages_.find(index);
      if (storage == storages_.end()) {
        lock.unlock();
        inner_->async_read(index, r, std::move(handler), flags);
        return;
      }
      Read read = read_of(index, storage->second, r.piece, r.start, r.length);
      jobs_.push_back([this, read = std::move(read), length = r.length,
                       handler = std::move(handler)]() mutable {
        Buffer buffer(static_cast<char*>(std::malloc(static_cast<std::size_t>(length))));
        const lt::storage_error error = read_parts(read, buffer.get());
        boost::asio::post(ios_, [this, buffer = std::move(buffer), length, error,
                                 handler = std::move(handler)]() mutable {
          if (error) {
            handler(lt::disk_buffer_holder(), error);
          } else {
            handler(lt::disk_buffer_holder(*this, buffer.release(), length), error);
          }
        });
      });
    }
    wake_.notify_one();
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

  // Whatever moves, renames, deletes or lets go of the files also closes the worker's copies.
  void async_move_storage(
      lt::storage_index_t index, std::string p, lt::move_flags_t flags,
      std::function<void(lt::status_t, std::string const&, lt::storage_error const&)> handler)
      override {
    let_go(index);
    inner_->async_move_storage(
        index, std::move(p), flags,
        [this, index, handler = std::move(handler)](lt::status_t status, std::string const& path,
                                                    lt::storage_error const& error) {
          if (!error) {
            {
              std::lock_guard lock(mutex_);
              if (const auto storage = storages_.find(index); storage != storages_.end()) {
                storage->second.save_path = path;
                let_go_locked(index);
              }
            }
            wake_.notify_one();
          }
          handler(status, path, error);
        });
  }
  void async_rename_file(
      lt::storage_index_t index, lt::file_index_t file, std::string name,
      std::function<void(std::string const&, lt::file_index_t, lt::storage_error const&)> handler)
      override {
    inner_->async_rename_file(
        index, file, std::move(name),
        [this, index, handler = std::move(handler)](
            std::string const& new_name, lt::file_index_t renamed, lt::storage_error const& error) {
          if (!error) {
            {
              std::lock_guard lock(mutex_);
              if (const auto storage = storages_.find(index); storage != storages_.end()) {
                storage->second.files.rename_file(renamed, new_name);
                let_go_locked(index);
              }
            }
            wake_.notify_one();
          }
          handler(new_name, renamed, error);
        });
  }
  void async_release_files(lt::storage_index_t index, std::function<void()> handler) override {
    let_go(index);
    inner_->async_release_files(index, std::move(handler));
  }
  void async_stop_torrent(lt::storage_index_t index, std::function<void()> handler) override {
    let_go(index);
    inner_->async_stop_torrent(index, std::move(handler));
  }
  void async_delete_files(lt::storage_index_t index, lt::remove_flags_t options,
                          std::function<void(lt::storage_error const&)> handler) override {
    let_go(index);
    inner_->async_delete_files(index, options, std::move(handler));
  }

  // Everything else is the inner disk input and output's.
  void async_hash2(
      lt::storage_index_t index, lt::piece_index_t piece, int offset, lt::disk_job_flags_t flags,
      std::function<void(lt::piece_index_t, lt::sha256_hash const&, lt::storage_error const&)>
          handler) override {
    inner_->async_hash2(index, piece, offset, flags, std::move(handler));
  }
  void async_check_files(
      lt::storage_index_t index, lt::add_torrent_params const* resume_data,
      lt::aux::vector<std::string, lt::file_index_t> links,
      std::function<void(lt::status_t, lt::storage_error const&)> handler) override {
    inner_->async_check_files(index, resume_data, std::move(links), std::move(handler));
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
  // The hash state of `piece`, made when it has none. Called locked.
  static const std::shared_ptr<PieceHash>& piece_state(lt::storage_index_t index, Storage& storage,
                                                       lt::piece_index_t piece) {
    std::shared_ptr<PieceHash>& slot = storage.pieces[piece];
    if (!slot) {
      slot = std::make_shared<PieceHash>();
      slot->storage = index;
      slot->piece = piece;
    }
    return slot;
  }

  // A write of `piece` is done; after a failed one the piece is read back to be hashed.
  void written(lt::storage_index_t index, lt::piece_index_t piece, bool failed) {
    {
      std::lock_guard lock(mutex_);
      const auto storage = storages_.find(index);
      if (storage == storages_.end()) return;
      const auto found = storage->second.pieces.find(piece);
      if (found == storage->second.pieces.end()) return;
      --found->second->writing;
      if (failed) found->second->broken = true;
      answer_if_done(index, piece, *found->second);
    }
    wake_.notify_one();
  }

  // Once the blocks of `piece` are all hashed and written, hands over the hash that was asked
  // for (through the network thread), or has the piece read back from the file and hashed.
  // Called locked.
  void answer_if_done(lt::storage_index_t index, lt::piece_index_t piece, PieceHash& state) {
    if (!state.waiting || state.writing > 0 || state.queued > 0) return;
    HashHandler handler = std::move(state.waiting);
    const bool read_back = state.broken;
    const lt::sha1_hash digest = read_back ? lt::sha1_hash() : state.hasher.final();
    const auto storage = storages_.find(index);
    if (storage == storages_.end()) return;
    storage->second.pieces.erase(piece);
    if (read_back) {
      queue_read_back(index, storage->second, piece, std::move(handler));
    } else {
      boost::asio::post(ios_, [handler = std::move(handler), piece, digest] {
        handler(piece, digest, lt::storage_error());
      });
    }
  }

  // Reads `piece` from its file on the worker thread, hashes it and hands the hash over.
  // Called locked.
  void queue_read_back(lt::storage_index_t index, const Storage& storage, lt::piece_index_t piece,
                       HashHandler handler) {
    Read read = read_of(index, storage, piece, 0, storage.files.piece_size(piece));
    jobs_.push_back([this, read = std::move(read), piece, handler = std::move(handler)]() mutable {
      int size = 0;
      for (const FilePart& part : read.parts) size += part.size;
      std::vector<char> bytes(static_cast<std::size_t>(size));
      const lt::storage_error error = read_parts(read, bytes.data());
      const lt::sha1_hash digest = error ? lt::sha1_hash() : lt::hasher(bytes.data(), size).final();
      boost::asio::post(ios_, [handler = std::move(handler), piece, digest, error] {
        handler(piece, digest, error);
      });
    });
  }

  // The parts of the storage's files that `length` bytes from `start` of `piece` cover. Called
  // locked.
  static Read read_of(lt::storage_index_t index, const Storage& storage, lt::piece_index_t piece,
                      int start, int length) {
    Read read{index, {}};
    for (const lt::file_slice& slice : storage.files.map_block(piece, start, length)) {
      read.parts.push_back({slice.file_index,
                            storage.files.pad_file_at(slice.file_index)
                                ? std::string()
                                : storage.files.file_path(slice.file_index, storage.save_path),
                            slice.offset, static_cast<int>(slice.size)});
    }
    return read;
  }

  // The worker thread: hashes blocks as they were written and reads from the files, in the
  // order the jobs came.
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
    }
  }

  void hash_block(PieceHash& state, const std::vector<char>& bytes) {
    state.hasher.update({bytes.data(), static_cast<std::ptrdiff_t>(bytes.size())});
    std::lock_guard lock(mutex_);
    --state.queued;
    queued_bytes_ -= static_cast<std::int64_t>(bytes.size());
    if (!state.waiting) return;
    const auto storage = storages_.find(state.storage);
    if (storage == storages_.end()) return;
    const auto found = storage->second.pieces.find(state.piece);
    if (found != storage->second.pieces.end() && found->second.get() == &state) {
      answer_if_done(state.storage, state.piece, state);
    }
  }

  // Reads the parts into `out` on the worker thread, through the files it keeps open.
  lt::storage_error read_parts(const Read& read, char* out) {
    for (const FilePart& part : read.parts) {
      if (part.path.empty()) {
        std::memset(out, 0, static_cast<std::size_t>(part.size));
        out += part.size;
        continue;
      }
      const int fd = open_file(read, part);
      if (fd < 0) {
        return lt::storage_error(lt::error_code(errno, lt::system_category()), part.file,
                                 lt::operation_t::file_open);
      }
      int done = 0;
      while (done < part.size) {
        const ssize_t got = ::pread(fd, out + done, static_cast<std::size_t>(part.size - done),
                                    static_cast<off_t>(part.offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
          return lt::storage_error(lt::error_code(errno, lt::system_category()), part.file,
                                   lt::operation_t::file_read);
        }
        if (got == 0) {
          return lt::storage_error(lt::error_code(boost::asio::error::eof), part.file,
                                   lt::operation_t::file_read);
        }
        done += static_cast<int>(got);
      }
      out += part.size;
    }
    return {};
  }

  // The worker's open copy of a file. Every rename, move or release of the storage's files
  // queues the closing of its copies (let_go), so a copy still open is one of the path this read
  // was asked with.
  int open_file(const Read& read, const FilePart& part) {
    const auto key = std::pair{read.storage, part.file};
    if (const auto open = open_files_.find(key); open != open_files_.end()) return open->second;
    const int fd = ::open(part.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) open_files_[key] = fd;
    return fd;
  }

  // The storage's files are let go: their open copies close, and the next read opens them anew.
  void let_go(lt::storage_index_t index) {
    {
      std::lock_guard lock(mutex_);
      let_go_locked(index);
    }
    wake_.notify_one();
  }
  void let_go_locked(lt::storage_index_t index) {
    jobs_.push_back([this, index] {
      for (auto open = open_files_.begin(); open != open_files_.end();) {
        if (open->first.first == index) {
          ::close(open->second);
          open = open_files_.erase(open);
        } else {
          ++open;
        }
      }
    });
  }

  lt::io_context& ios_;
  std::unique_ptr<lt::disk_interface> inner_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::deque<std::function<void()>> jobs_;
  std::int64_t queued_bytes_ = 0;
  std::map<lt::storage_index_t, Storage> storages_;
  // The worker's open files: only the worker thread touches them (and the end, after it).
  std::map<std::pair<lt::storage_index_t, lt::file_index_t>, int> open_files_;
  std::thread worker_;  // last: it starts once the members above exist
};

}  // namespace

std::unique_ptr<lt::disk_interface> hashing_disk_io_constructor(lt::io_context& ios,
                                                                lt::settings_interface const& s,
                                                                lt::counters& c) {
  return std::make_unique<HashingDiskIo>(ios, lt::mmap_disk_io_constructor(ios, s, c));
}

}  // namespace pelmora::engine
