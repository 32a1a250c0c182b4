#pragma once

#include "platform/network_adapters.h"

namespace pelmora::platform {

// The machine's network interfaces from getifaddrs, in the order the system lists them.
class IfaddrsAdapters final : public NetworkAdapters {
 public:
  std::vector<NetworkAdapter> list() override;
};

}  // namespace pelmora::platform
