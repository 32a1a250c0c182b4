#include "hashing_disk_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <libtorrent/disk_buffer_holder.hpp>
#include <libtorrent/disk_interface.hpp>
#include <libtorrent/disk_observer.hpp>
#include <libtorrent/file_storage.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/mmap_disk_io.hpp>
#include <libtorrent/peer_request.hpp>
#include <libtorrent/settings_pack.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <variant>
#include <vector>

namespace pelmora::engine {
namespace {

using HashHandler =
    std::function<void(lt::piece_index_t, lt::sha1_hash const&, lt::storage_error const&)>;
using ReadHandler = std::function<void(lt::disk_buffer_holder, lt::storage_error const&)>;
using WriteHandler = std::function<void(lt::storage_error const&)>;

// The hash of one piece taken from its blocks as they are written.
struct PieceHash {
  lt::storage_index_t storage;
  lt::piece_index_t piece;
  lt::hasher hasher;    // fed by the worker thread only
  int received = 0;     // bytes from the piece's start handed to the worker thread
  int queued = 0;       // its blocks waiting to be hashed
  int writing = 0;      // its writes not yet done
  bool broken = false;  // a block came out of order, or a write failed: read it back
  HashHandler waiting;  // the hash asked for before its blocks were all hashed and written
};

// Where a storage's files are: shared with the blocks waiting to be written, which find their
// files under the names and folder the storage has when they are written (renames and moves
// followed).
struct Place {
  lt::file_storage files;
  std::string save_path;
};

struct Storage {
  lt::storage_holder inner;
  std::shared_ptr<Place> place;
  // A file is kept in the library's part file (a file not to be downloaded): its writes go
  // through the library's own disk input and output, and its pieces are read back to be hashed.
  bool library_writes = false;
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

struct FreeBuffer {
  void operator()(char* buffer) const { std::free(buffer); }
};
using Buffer = std::unique_ptr<char, FreeBuffer>;

// A received block's own copy of its bytes, shared by the thread that hashes it and the one that
// writes it.
using Bytes = std::shared_ptr<char>;

// A received block on its way to its file, written by the worker thread.
struct Block {
  lt::storage_index_t storage;
  std::shared_ptr<Place> place;
  std::shared_ptr<PieceHash> piece;
  int start = 0;
  int length = 0;
  Bytes bytes;
  WriteHandler handler;
  lt::storage_error error;
};

// A received block that continues its piece in order, for the hash thread.
struct HashJob {
  std::shared_ptr<PieceHash> piece;
  Bytes bytes;
  int length = 0;
};

// What the worker thread does, in the order it was asked: write blocks, or anything else.
using Job = std::variant<Block, std::function<void()>>;

// The most blocks the worker thread takes up at once (a piece of the usual size).
constexpr std::size_t kMostBlocksAtOnce = 16;
// The most bytes of one write call. Blocks that follow on in a file are written two at a time:
// fewer calls than one a block, while the file system still takes the pages it caches them in
// from the small, recently used ones. Larger writes make it take larger runs of pages, which on
// a virtual machine are often memory the host has taken back and must first give again: the
// same bytes took several times the processor time.
constexpr std::int64_t kMostBytesPerWrite = 2 * lt::default_block_size;

class HashingDiskIo final : public lt::disk_interface, public lt::buffer_allocator_interface {
 public:
  HashingDiskIo(lt::io_context& ios, lt::settings_interface const& settings,
                std::unique_ptr<lt::disk_interface> inner)
      : ios_(ios),
        settings_(settings),
        inner_(std::move(inner)),
        most_queued_(queue_limit(settings)),
        worker_([this] { work(); }),
        hasher_([this] { hash_work(); }) {}

  ~HashingDiskIo() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    fenced_.notify_all();
    hash_wake_.notify_all();
    worker_.join();
    hasher_.join();
    for (const auto& [key, fd] : read_files_) ::close(fd);
    for (const auto& [key, fd] : write_files_) ::close(fd);
  }

  void free_disk_buffer(char* buffer) override { std::free(buffer); }

  lt::storage_holder new_torrent(lt::storage_params const& p,
                                 std::shared_ptr<void> const& torrent) override {
    lt::storage_holder inner = inner_->new_torrent(p, torrent);
    const lt::storage_index_t index = inner;
    std::lock_guard lock(mutex_);
    Storage& storage = storages_[index];
    storage.inner = std::move(inner);
    storage.place = std::make_shared<Place>(
        Place{p.mapped_files != nullptr ? *p.mapped_files : p.files, p.path});
    storage.library_writes = false;
    for (const lt::download_priority_t priority : p.priorities) {
      if (priority == lt::dont_download) storage.library_writes = true;
    }
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
                   std::shared_ptr<lt::disk_observer> o, WriteHandler handler,
                   lt::disk_job_flags_t flags) override {
    std::unique_lock lock(mutex_);
    const auto storage = storages_.find(index);
    if (storage == storages_.end() || storage->second.library_writes) {
      if (storage != storages_.end()) {
        PieceHash& piece = *piece_state(index, storage->second, r.piece);
        piece.broken = true;
        ++piece.writing;
      }
      lock.unlock();
      return inner_->async_write(
          index, r, buf, std::move(o),
          [this, index, piece = r.piece, handler = std::move(handler)](lt::storage_error const& e) {
            handler(e);
            written(index, piece, static_cast<bool>(e));
          },
          flags);
    }
    const std::shared_ptr<PieceHash>& slot = piece_state(index, storage->second, r.piece);
    PieceHash& piece = *slot;
    Block block{index,
                storage->second.place,
                slot,
                r.start,
                r.length,
                Bytes(static_cast<char*>(std::malloc(static_cast<std::size_t>(r.length))),
                      [this, length = r.length](char* bytes) {
                        std::free(bytes);
                        held_bytes_ -= length;
                      }),
                std::move(handler),
                {}};
    std::memcpy(block.bytes.get(), buf, static_cast<std::size_t>(r.length));
    // Blocks that continue their piece in order are hashed as they are written; a piece with a
    // block out of order is read back from its file.
    const bool hash = !piece.broken && r.start == piece.received;
    if (hash) {
      piece.received += r.length;
      ++piece.queued;
      hash_jobs_.push_back({slot, block.bytes, r.length});
    } else {
      piece.broken = true;
    }
    ++piece.writing;
    held_bytes_ += r.length;
    const bool full = held_bytes_ >= most_queued_;
    // The peer waits for the observer's call once the queue has room again.
    if (full && o) observers_.push_back(std::move(o));
    jobs_.emplace_back(std::move(block));
    lock.unlock();
    wake_.notify_one();
    if (hash) hash_wake_.notify_one();
    return full;
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
      if (state.waiting || state.received != storage->second.place->files.piece_size(piece)) {
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
      jobs_.emplace_back([this, read = std::move(read), length = r.length,
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

  // What moves, renames or deletes the files waits for the blocks asked to be written before it,
  // and the blocks asked after it wait for it: a block is never written under a name its file
  // no longer has. Whatever lets go of the files also closes the worker's copies.
  void async_move_storage(
      lt::storage_index_t index, std::string p, lt::move_flags_t flags,
      std::function<void(lt::status_t, std::string const&, lt::storage_error const&)> handler)
      override {
    fence(index, [this, index, p = std::move(p), flags,
                  handler = std::move(handler)](std::function<void()> done) mutable {
      inner_->async_move_storage(
          index, std::move(p), flags,
          [this, index, handler = std::move(handler), done = std::move(done)](
              lt::status_t status, std::string const& path, lt::storage_error const& error) {
            if (!error) {
              std::lock_guard lock(mutex_);
              if (const auto storage = storages_.find(index); storage != storages_.end()) {
                storage->second.place->save_path = path;
              }
            }
            done();
            handler(status, path, error);
          });
    });
  }
  void async_rename_file(
      lt::storage_index_t index, lt::file_index_t file, std::string name,
      std::function<void(std::string const&, lt::file_index_t, lt::storage_error const&)> handler)
      override {
    fence(index, [this, index, file, name = std::move(name),
                  handler = std::move(handler)](std::function<void()> done) mutable {
      inner_->async_rename_file(index, file, std::move(name),
                                [this, index, handler = std::move(handler), done = std::move(done)](
                                    std::string const& new_name, lt::file_index_t renamed,
                                    lt::storage_error const& error) {
                                  if (!error) {
                                    std::lock_guard lock(mutex_);
                                    if (const auto storage = storages_.find(index);
                                        storage != storages_.end()) {
                                      storage->second.place->files.rename_file(renamed, new_name);
                                    }
                                  }
                                  done();
                                  handler(new_name, renamed, error);
                                });
    });
  }
  void async_delete_files(lt::storage_index_t index, lt::remove_flags_t options,
                          std::function<void(lt::storage_error const&)> handler) override {
    fence(index,
          [this, index, options, handler = std::move(handler)](std::function<void()> done) mutable {
            inner_->async_delete_files(index, options,
                                       [handler = std::move(handler),
                                        done = std::move(done)](lt::storage_error const& error) {
                                         done();
                                         handler(error);
                                       });
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
  void async_set_file_priority(
      lt::storage_index_t index, lt::aux::vector<lt::download_priority_t, lt::file_index_t> prio,
      std::function<void(lt::storage_error const&,
                         lt::aux::vector<lt::download_priority_t, lt::file_index_t>)>
          handler) override {
    {
      std::lock_guard lock(mutex_);
      if (const auto storage = storages_.find(index); storage != storages_.end()) {
        for (const lt::download_priority_t priority : prio) {
          if (priority == lt::dont_download) storage->second.library_writes = true;
        }
      }
    }
    inner_->async_set_file_priority(index, std::move(prio), std::move(handler));
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
  void update_stats_counters(lt::counters& c) const override { inner_->update_stats_counters(c); }
  std::vector<lt::open_file_state> get_status(lt::storage_index_t index) const override {
    return inner_->get_status(index);
  }
  void abort(bool wait) override { inner_->abort(wait); }
  void submit_jobs() override { inner_->submit_jobs(); }
  void settings_updated() override {
    {
      std::lock_guard lock(mutex_);
      most_queued_ = queue_limit(settings_);
    }
    inner_->settings_updated();
  }

 private:
  static std::int64_t queue_limit(lt::settings_interface const& settings) {
    return std::max(settings.get_int(lt::settings_pack::max_queued_disk_bytes),
                    lt::default_block_size);
  }

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

  // A write of `piece` by the inner disk input and output is done.
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

  // Reads `piece` from its file on the worker thread, hashes it and hands the hash over. The
  // worker is woken here: the hash thread queues this too, and the worker may have gone to sleep
  // with its writes done. Called locked.
  void queue_read_back(lt::storage_index_t index, const Storage& storage, lt::piece_index_t piece,
                       HashHandler handler) {
    Read read = read_of(index, storage, piece, 0, storage.place->files.piece_size(piece));
    jobs_.emplace_back([this, read = std::move(read), piece,
                        handler = std::move(handler)]() mutable {
      int size = 0;
      for (const FilePart& part : read.parts) size += part.size;
      std::vector<char> bytes(static_cast<std::size_t>(size));
      const lt::storage_error error = read_parts(read, bytes.data());
      const lt::sha1_hash digest = error ? lt::sha1_hash() : lt::hasher(bytes.data(), size).final();
      boost::asio::post(ios_, [handler = std::move(handler), piece, digest, error] {
        handler(piece, digest, error);
      });
    });
    wake_.notify_one();
  }

  // The parts of the storage's files that `length` bytes from `start` of `piece` cover. Called
  // locked.
  static Read read_of(lt::storage_index_t index, const Storage& storage, lt::piece_index_t piece,
                      int start, int length) {
    Read read{index, {}};
    read.parts = parts_of(*storage.place, piece, start, length);
    return read;
  }
  static std::vector<FilePart> parts_of(const Place& place, lt::piece_index_t piece, int start,
                                        int length) {
    std::vector<FilePart> parts;
    for (const lt::file_slice& slice : place.files.map_block(piece, start, length)) {
      parts.push_back({slice.file_index,
                       place.files.pad_file_at(slice.file_index)
                           ? std::string()
                           : place.files.file_path(slice.file_index, place.save_path),
                       slice.offset, static_cast<int>(slice.size)});
    }
    return parts;
  }

  // Runs `operation` on the worker thread once the jobs asked before it are done, and holds the
  // worker thread until it calls the function it is given (its work is done elsewhere, by the
  // inner disk input and output). The storage's files that the worker has open are closed
  // first.
  void fence(lt::storage_index_t index, std::function<void(std::function<void()>)> operation) {
    {
      std::lock_guard queue_lock(mutex_);
      jobs_.emplace_back([this, index, operation = std::move(operation)]() mutable {
        close_files(index);
        auto done = std::make_shared<bool>(false);
        // The inner disk input and output is asked from the network thread, as the library
        // asks it.
        boost::asio::post(ios_, [this, done, operation = std::move(operation)]() mutable {
          operation([this, done] {
            {
              std::lock_guard done_lock(mutex_);
              *done = true;
            }
            fenced_.notify_all();
          });
          inner_->submit_jobs();
        });
        std::unique_lock lock(mutex_);
        fenced_.wait(lock, [&] { return *done || stopping_; });
      });
    }
    wake_.notify_one();
  }

  // The worker thread: hashes and writes blocks, reads from the files and runs what else was
  // asked, in the order it came. Blocks that follow each other are taken up together.
  void work() {
    std::unique_lock lock(mutex_);
    std::vector<Block> blocks;
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      if (auto* other = std::get_if<std::function<void()>>(&jobs_.front())) {
        std::function<void()> job = std::move(*other);
        jobs_.pop_front();
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        continue;
      }
      while (!jobs_.empty() && blocks.size() < kMostBlocksAtOnce &&
             std::holds_alternative<Block>(jobs_.front())) {
        blocks.push_back(std::move(std::get<Block>(jobs_.front())));
        jobs_.pop_front();
      }
      lock.unlock();
      write_blocks(blocks);
      lock.lock();
      finish_blocks(blocks);
      blocks.clear();
    }
  }

  // The hash thread: feeds the blocks that continue their pieces in order to their pieces'
  // hashes, beside the worker thread that writes them (on two cores the one does not wait for
  // the other).
  void hash_work() {
    std::unique_lock lock(mutex_);
    std::vector<HashJob> jobs;
    for (;;) {
      hash_wake_.wait(lock, [this] { return stopping_ || !hash_jobs_.empty(); });
      if (stopping_) return;
      jobs.assign(std::make_move_iterator(hash_jobs_.begin()),
                  std::make_move_iterator(hash_jobs_.end()));
      hash_jobs_.clear();
      lock.unlock();
      for (const HashJob& job : jobs) {
        job.piece->hasher.update({job.bytes.get(), static_cast<std::ptrdiff_t>(job.length)});
      }
      lock.lock();
      for (const HashJob& job : jobs) {
        PieceHash& piece = *job.piece;
        --piece.queued;
        answer_if_current(piece);
      }
      jobs.clear();
      resume_peers();
    }
  }

  // Answers the hash asked of `piece` when it is done, unless the piece was cleared since (its
  // state is then another). Called locked.
  void answer_if_current(PieceHash& piece) {
    const auto storage = storages_.find(piece.storage);
    if (storage == storages_.end()) return;
    const auto found = storage->second.pieces.find(piece.piece);
    if (found != storage->second.pieces.end() && found->second.get() == &piece) {
      answer_if_done(piece.storage, piece.piece, piece);
    }
  }

  // Writes the blocks, each run of them that follows on in one file with one call. Worker
  // thread, unlocked.
  void write_blocks(std::vector<Block>& blocks) {
    // The file parts of each block, as the storage names its files now.
    struct Part {
      std::size_t block;
      FilePart file;
      const char* bytes;
      std::int64_t file_size;
    };
    std::vector<Part> parts;
    {
      std::lock_guard lock(mutex_);
      for (std::size_t i = 0; i < blocks.size(); ++i) {
        const char* bytes = blocks[i].bytes.get();
        for (FilePart& part : parts_of(*blocks[i].place, blocks[i].piece->piece, blocks[i].start,
                                       blocks[i].length)) {
          const std::int64_t file_size = blocks[i].place->files.file_size(part.file);
          parts.push_back({i, std::move(part), bytes, file_size});
          bytes += parts.back().file.size;
        }
      }
    }
    std::vector<iovec> run;
    for (std::size_t first = 0; first < parts.size();) {
      const Part& head = parts[first];
      std::size_t end = first + 1;
      std::int64_t next = head.file.offset + head.file.size;
      while (end < parts.size() && next - head.file.offset < kMostBytesPerWrite &&
             blocks[parts[end].block].storage == blocks[head.block].storage &&
             parts[end].file.file == head.file.file && parts[end].file.path == head.file.path &&
             parts[end].file.offset == next) {
        next += parts[end].file.size;
        ++end;
      }
      if (!head.file.path.empty()) {  // a pad file is not written
        run.clear();
        for (std::size_t i = first; i < end; ++i) {
          run.push_back(
              {const_cast<char*>(parts[i].bytes), static_cast<std::size_t>(parts[i].file.size)});
        }
        const lt::storage_error error = write_run(blocks[head.block].storage, head.file,
                                                  head.file_size, run, next - head.file.offset);
        if (error) {
          for (std::size_t i = first; i < end; ++i) blocks[parts[i].block].error = error;
        }
      }
      first = end;
    }
  }

  // Writes `run` (`size` bytes) at the place of `part` in its file. Worker thread.
  lt::storage_error write_run(lt::storage_index_t storage, const FilePart& part,
                              std::int64_t file_size, std::vector<iovec>& run, std::int64_t size) {
    const int fd = write_file(storage, part, file_size);
    if (fd < 0) {
      return lt::storage_error(lt::error_code(errno, lt::system_category()), part.file,
                               lt::operation_t::file_open);
    }
    std::int64_t done = 0;
    std::size_t at = 0;
    while (done < size) {
      const ssize_t put = ::pwritev(fd, run.data() + at, static_cast<int>(run.size() - at),
                                    static_cast<off_t>(part.offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        return lt::storage_error(lt::error_code(put < 0 ? errno : ENOSPC, lt::system_category()),
                                 part.file, lt::operation_t::file_write);
      }
      done += put;
      // A short write goes on from where it stopped.
      auto left = static_cast<std::size_t>(put);
      while (at < run.size() && left >= run[at].iov_len) left -= run[at++].iov_len;
      if (at < run.size()) {
        run[at].iov_base = static_cast<char*>(run[at].iov_base) + left;
        run[at].iov_len -= left;
      }
    }
    return {};
  }

  // The written blocks' pieces learn of them, their handlers run on the network thread, and
  // peers that waited for room in the queue go on. Called locked.
  void finish_blocks(std::vector<Block>& blocks) {
    std::vector<std::pair<WriteHandler, lt::storage_error>> handlers;
    handlers.reserve(blocks.size());
    for (Block& block : blocks) {
      PieceHash& piece = *block.piece;
      --piece.writing;
      if (block.error) piece.broken = true;
      block.bytes.reset();
      handlers.emplace_back(std::move(block.handler), block.error);
    }
    // The handlers go first, so that the library learns of the writes before of the hashes.
    boost::asio::post(ios_, [handlers = std::move(handlers)] {
      for (const auto& [handler, error] : handlers) handler(error);
    });
    for (Block& block : blocks) answer_if_current(*block.piece);
    resume_peers();
  }

  // Peers that waited for room go on once the blocks held are down to half the most. Called
  // locked.
  void resume_peers() {
    if (observers_.empty() || held_bytes_ > most_queued_ / 2) return;
    boost::asio::post(ios_, [observers = std::move(observers_)] {
      for (const auto& observer : observers) observer->on_disk();
    });
    observers_.clear();
  }

  // Reads the parts into `out` on the worker thread, through the files it keeps open.
  lt::storage_error read_parts(const Read& read, char* out) {
    for (const FilePart& part : read.parts) {
      if (part.path.empty()) {
        std::memset(out, 0, static_cast<std::size_t>(part.size));
        out += part.size;
        continue;
      }
      const int fd = read_file(read.storage, part);
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

  // The worker's open copies of the files, for reading and for writing. Every rename, move or
  // release of the storage's files closes them first (in the order of the jobs), so a copy still
  // open is one of the path the job was asked with.
  int read_file(lt::storage_index_t storage, const FilePart& part) {
    const auto key = std::pair{storage, part.file};
    if (const auto open = read_files_.find(key); open != read_files_.end()) return open->second;
    const int fd = ::open(part.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) read_files_[key] = fd;
    return fd;
  }
  // A file opened for writing the first time is made (with its folders) and given its whole
  // size, as the library's own storage does: the rest of it reads as zeros until written.
  int write_file(lt::storage_index_t storage, const FilePart& part, std::int64_t size) {
    const auto key = std::pair{storage, part.file};
    if (const auto open = write_files_.find(key); open != write_files_.end()) return open->second;
    int fd = ::open(part.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT) {
      std::error_code ec;
      std::filesystem::create_directories(std::filesystem::path(part.path).parent_path(), ec);
      fd = ::open(part.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd < 0) return fd;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size < size) {
      [[maybe_unused]] const int extended = ::ftruncate(fd, static_cast<off_t>(size));
    }
    write_files_[key] = fd;
    return fd;
  }
  void close_files(lt::storage_index_t index) {
    for (auto* files : {&read_files_, &write_files_}) {
      for (auto open = files->begin(); open != files->end();) {
        if (open->first.first == index) {
          ::close(open->second);
          open = files->erase(open);
        } else {
          ++open;
        }
      }
    }
  }

  // The storage's files are let go: their open copies close once the jobs asked before are
  // done, and the next job opens them anew.
  void let_go(lt::storage_index_t index) {
    {
      std::lock_guard lock(mutex_);
      let_go_locked(index);
    }
    wake_.notify_one();
  }
  void let_go_locked(lt::storage_index_t index) {
    jobs_.emplace_back([this, index] { close_files(index); });
  }

  lt::io_context& ios_;
  lt::settings_interface const& settings_;
  std::unique_ptr<lt::disk_interface> inner_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable fenced_;
  bool stopping_ = false;
  // Bytes of received blocks not yet both hashed and written, and the most there may be before
  // peers are asked to wait (before the queues below: their blocks count down as they go).
  std::atomic<std::int64_t> held_bytes_{0};
  std::int64_t most_queued_;
  std::deque<Job> jobs_;
  std::vector<std::shared_ptr<lt::disk_observer>> observers_;
  std::deque<HashJob> hash_jobs_;
  std::condition_variable hash_wake_;
  std::map<lt::storage_index_t, Storage> storages_;
  // The worker's open files: only the worker thread touches them (and the end, after it).
  std::map<std::pair<lt::storage_index_t, lt::file_index_t>, int> read_files_;
  std::map<std::pair<lt::storage_index_t, lt::file_index_t>, int> write_files_;
  // Last: they start once the members above exist.
  std::thread worker_;
  std::thread hasher_;
};

}  // namespace

std::unique_ptr<lt::disk_interface> hashing_disk_io_constructor(lt::io_context& ios,
                                                                lt::settings_interface const& s,
                                                                lt::counters& c) {
  return std::make_unique<HashingDiskIo>(ios, s, lt::mmap_disk_io_constructor(ios, s, c));
}

}  // namespace pelmora::engine
