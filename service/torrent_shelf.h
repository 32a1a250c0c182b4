#pragma once

#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pelmora::service {

// The torrents of the media folder's files, made by the shared torrent maker on a thread of its
// own when the service starts, so that a start does not wait for the hashing. Lookups wait until
// every file has been made.
class TorrentShelf {
 public:
  explicit TorrentShelf(std::filesystem::path folder);
  ~TorrentShelf();
  TorrentShelf(const TorrentShelf&) = delete;
  TorrentShelf& operator=(const TorrentShelf&) = delete;

  // The .torrent bytes of the file whose info-hash is `hash` (40 hex digits, any case).
  std::optional<std::string> torrent(std::string hash);
  // The info-hash (40 lowercase hex digits) and size of the media file `name`.
  struct Entry {
    std::string hash;
    std::uint64_t size = 0;
  };
  std::optional<Entry> entry(const std::string& name);

 private:
  void make_all();
  void wait_ready();

  const std::filesystem::path folder_;
  std::mutex mutex_;
  std::condition_variable ready_signal_;
  bool ready_ = false;
  bool cancelled_ = false;
  std::map<std::string, std::string> torrents_;  // hash -> .torrent
  std::map<std::string, Entry> entries_;         // name -> hash and size
  std::thread thread_;
};

}  // namespace pelmora::service
