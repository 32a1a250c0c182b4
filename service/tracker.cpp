#include "tracker.h"

#include <arpa/inet.h>

#include <optional>

#include "escape_codec.h"

namespace pelmora::service {
namespace {

// A query value as the bytes it encodes (info-hashes are binary).
std::string bytes_of(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (const int byte = value[i] == '%' ? codec::hex_run(value, i + 1, 2) : -1; byte >= 0) {
      out += static_cast<char>(byte);
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::optional<std::string> value_of(std::string_view query, std::string_view key) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t eq = pair.find('=');
    if (pair.substr(0, eq) == key) {
      return bytes_of(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::nullopt;
}

std::string bstring(std::string_view text) {
  return std::to_string(text.size()) + ":" + std::string(text);
}

}  // namespace

std::string tracker_failure(std::string_view reason) {
  return "d14:failure reason" + bstring(reason) + "e";
}

std::string Tracker::announce(std::string_view raw_query, const std::string& remote) {
  const auto info_hash = value_of(raw_query, "info_hash");
  if (!info_hash || info_hash->size() != 20) return tracker_failure("bad info_hash");
  const auto port_text = value_of(raw_query, "port");
  int port = 0;
  if (port_text && !port_text->empty() && port_text->size() <= 5 &&
      port_text->find_first_not_of("0123456789") == std::string::npos) {
    port = std::stoi(*port_text);
  }
  if (port < 1 || port > 65535) return tracker_failure("bad port");
  in_addr address{};
  if (inet_pton(AF_INET, remote.c_str(), &address) != 1) return tracker_failure("IPv4 only");

  std::string compact(reinterpret_cast<const char*>(&address), 4);
  compact += static_cast<char>(port >> 8);
  compact += static_cast<char>(port & 0xff);
  const std::string event = value_of(raw_query, "event").value_or("");

  std::lock_guard lock(mutex_);
  auto& swarm = swarms_[*info_hash];
  const auto now = Clock::now();
  for (auto it = swarm.begin(); it != swarm.end();) {
    if (now - it->second.seen > std::chrono::seconds(3 * kInterval)) {
      it = swarm.erase(it);
    } else {
      ++it;
    }
  }
  std::string peers;
  for (const auto& [key, peer] : swarm) {
    if (key != compact) peers += peer.compact;
  }
  if (event == "stopped") {
    swarm.erase(compact);
  } else {
    swarm[compact] = Peer{compact, now};
  }
  return "d8:intervali" + std::to_string(kInterval) + "e12:min intervali5e5:peers" +
         bstring(peers) + "e";
}

int Tracker::peer_count(const std::string& info_hash) const {
  std::lock_guard lock(mutex_);
  const auto it = swarms_.find(info_hash);
  return it == swarms_.end() ? 0 : static_cast<int>(it->second.size());
}

}  // namespace pelmora::service
