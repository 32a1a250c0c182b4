#include "app/machine_id.h"

#include <random>

#include "platform/network_adapters.h"

namespace pelmora::mac {

std::string mac_address(platform::NetworkAdapters& adapters) {
  for (const auto& adapter : adapters.list()) {
    if (!adapter.up || adapter.loopback || !adapter.has_address) continue;
    // Only the first active interface counts, even when a later one has a usable address.
    std::string text = adapter.hardware_address;
    for (char& c : text) {
      if (c == ':') c = '-';
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    if (text.empty() || text.find("00-00-00-00-00-00") != std::string::npos ||
        text.find("00-53-45-00-00-00") != std::string::npos) {
      return {};
    }
    return text;
  }
  return {};
}

std::string time_id(const platform::LocalTime& time, int random_part) {
  std::string id;
  for (int part :
       {time.year, time.month, time.day, time.hour, time.minute, time.second, random_part}) {
    id += std::to_string(part);
  }
  return id;
}

std::string time_id(const platform::Clock& clock) {
  std::mt19937 generator(static_cast<std::uint32_t>(clock.now_ms()) ^ std::random_device{}());
  std::uniform_int_distribution<int> hundreds(100, 999);
  return time_id(clock.local_time(), hundreds(generator));
}

std::string machine_identifier(platform::NetworkAdapters& adapters, const platform::Clock& clock) {
  std::string id = mac_address(adapters);
  return id.empty() ? time_id(clock) : id;
}

}  // namespace pelmora::mac
