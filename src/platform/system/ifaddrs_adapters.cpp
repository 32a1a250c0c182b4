#include "platform/system/ifaddrs_adapters.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <cstdio>

namespace pelmora::platform {

namespace {

NetworkAdapter& adapter_named(std::vector<NetworkAdapter>& adapters, const char* name) {
  for (auto& adapter : adapters) {
    if (adapter.name == name) return adapter;
  }
  adapters.push_back(NetworkAdapter{name, false, false, false, {}});
  return adapters.back();
}

std::string hardware_text(const sockaddr_ll& link) {
  if (link.sll_halen != 6) return {};
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", link.sll_addr[0],
                link.sll_addr[1], link.sll_addr[2], link.sll_addr[3], link.sll_addr[4],
                link.sll_addr[5]);
  return text;
}

}  // namespace

std::vector<NetworkAdapter> IfaddrsAdapters::list() {
  std::vector<NetworkAdapter> adapters;
  ifaddrs* first = nullptr;
  if (::getifaddrs(&first) != 0) return adapters;
  for (const ifaddrs* entry = first; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    NetworkAdapter& adapter = adapter_named(adapters, entry->ifa_name);
    adapter.up = (entry->ifa_flags & IFF_UP) != 0;
    adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    if (entry->ifa_addr == nullptr) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family == AF_INET || family == AF_INET6) adapter.has_address = true;
    if (family == AF_PACKET) {
      // The kernel hands this family's addresses as sockaddr_ll.
      const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
      adapter.hardware_address = hardware_text(*link);
    }
  }
  ::freeifaddrs(first);
  return adapters;
}

}  // namespace pelmora::platform
