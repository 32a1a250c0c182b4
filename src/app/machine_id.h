#pragma once

#include <string>

#include "platform/clock.h"

namespace pelmora::platform {
class NetworkAdapters;
}

// The identifier of this installation, sent with the statistics request: the hardware address
// of the first active network interface, or a number made from the date, the time and a random
// part when there is none.
namespace pelmora::mac {

// The hardware address of the first interface that is up, is not loopback and has an address,
// as "00-1A-2B-3C-4D-5E"; empty when that interface has none, or has one of the two placeholder
// addresses 00-00-00-00-00-00 and 00-53-45-00-00-00.
std::string mac_address(platform::NetworkAdapters& adapters);

// Year, month, day, hour, minute and second in decimal without padding, then `random_part`
// (100-999): 7 December 2026, 00:36:38 with 523 gives "202612703638523".
std::string time_id(const platform::LocalTime& time, int random_part);
// The same with a random part drawn from a generator seeded by the clock.
std::string time_id(const platform::Clock& clock);

// mac_address, or time_id when that is empty.
std::string machine_identifier(platform::NetworkAdapters& adapters, const platform::Clock& clock);

}  // namespace pelmora::mac
