#include "torrent_shelf.h"

#include <cctype>
#include <vector>

#include "media_files.h"
#include "torrent_maker.h"

namespace pelmora::service {

TorrentShelf::TorrentShelf(std::filesystem::path folder) : folder_(std::move(folder)) {
  thread_ = std::thread([this] { make_all(); });
}

TorrentShelf::~TorrentShelf() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  thread_.join();
}

void TorrentShelf::make_all() {
  std::vector<std::pair<std::string, std::filesystem::path>> files;  // name, resolved file
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    // Only what the web seed would serve: no link that leads out of the folder.
    const std::string name = entry.path().filename().string();
    const MediaLookup lookup = find_media(folder_, name);
    if (lookup.result == MediaLookup::Result::found) files.emplace_back(name, lookup.path);
  }
  for (const auto& [name, path] : files) {
    {
      std::lock_guard lock(mutex_);
      if (cancelled_) break;
    }
    auto made = torrent::make_torrent(path, name);
    if (!made) continue;
    std::lock_guard lock(mutex_);
    entries_[name] = Entry{made->info_hash, made->size};
    torrents_[made->info_hash] = std::move(made->torrent);
  }
  std::lock_guard lock(mutex_);
  ready_ = true;
  ready_signal_.notify_all();
}

void TorrentShelf::wait_ready() {
  std::unique_lock lock(mutex_);
  ready_signal_.wait(lock, [this] { return ready_; });
}

std::optional<std::string> TorrentShelf::torrent(std::string hash) {
  for (char& c : hash) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  wait_ready();
  std::lock_guard lock(mutex_);
  const auto it = torrents_.find(hash);
  if (it == torrents_.end()) return std::nullopt;
  return it->second;
}

std::optional<TorrentShelf::Entry> TorrentShelf::entry(const std::string& name) {
  wait_ready();
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(name);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

}  // namespace pelmora::service
