#pragma once

#include <string>
#include <vector>

namespace pelmora::platform {

// One network interface as the machine identifier looks at it.
struct NetworkAdapter {
  std::string name;
  bool up = false;
  bool loopback = false;
  bool has_address = false;      // an IPv4 or IPv6 address is assigned
  std::string hardware_address;  // "00:1a:2b:3c:4d:5e" form, empty when there is none
};

class NetworkAdapters {
 public:
  virtual ~NetworkAdapters() = default;
  // In the system's order.
  virtual std::vector<NetworkAdapter> list() = 0;
};

}  // namespace pelmora::platform
