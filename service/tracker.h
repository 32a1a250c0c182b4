#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace pelmora::service {

// A BitTorrent HTTP tracker kept in memory: who shares which info-hash, answered in the compact
// form (IPv4 peers). A peer is known by the address its request came from and the port it
// announced; it is forgotten when it says it stopped or has not announced for a while.
class Tracker {
 public:
  static constexpr int kInterval = 30;  // seconds between announces a peer is asked for

  // The bencoded answer to one announce. `raw_query` is the request's query as sent, `remote`
  // the IPv4 address the request came from.
  std::string announce(std::string_view raw_query, const std::string& remote);
  // How many peers share `info_hash` (20 bytes).
  int peer_count(const std::string& info_hash) const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Peer {
    std::string compact;  // 4 address bytes and 2 port bytes, big-endian
    Clock::time_point seen;
  };
  mutable std::mutex mutex_;
  std::map<std::string, std::map<std::string, Peer>> swarms_;
};

// "d14:failure reason...e"
std::string tracker_failure(std::string_view reason);

}  // namespace pelmora::service
