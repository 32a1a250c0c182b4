#include "app/machine_id.h"

#include <gtest/gtest.h>

#include "platform/headless/headless_backend.h"
#include "platform/headless/recorders.h"

namespace pelmora::mac {
namespace {

using platform::NetworkAdapter;

TEST(MachineId, FirstActiveAdapterGivesItsAddressInUpperCaseWithDashes) {
  headless::FixedAdapters adapters;
  adapters.adapters = {{"lo", true, true, true, "00:00:00:00:00:00"},
                       {"wlan0", false, false, false, "aa:bb:cc:dd:ee:ff"},   // down
                       {"docker0", true, false, false, "02:42:00:00:00:01"},  // no address
                       {"eth0", true, false, true, "00:1a:2b:3c:4d:5e"},
                       {"eth1", true, false, true, "11:22:33:44:55:66"}};
  EXPECT_EQ(mac_address(adapters), "00-1A-2B-3C-4D-5E");
}

TEST(MachineId, PlaceholderOrMissingAddressesGiveNothing) {
  headless::FixedAdapters adapters;
  for (const char* address : {"00:53:45:00:00:00", "00:00:00:00:00:00", ""}) {
    adapters.adapters = {{"ppp0", true, false, true, address},
                         {"eth0", true, false, true, "00:1a:2b:3c:4d:5e"}};
    EXPECT_EQ(mac_address(adapters), "") << address;
  }
  adapters.adapters.clear();
  EXPECT_EQ(mac_address(adapters), "");
}

TEST(MachineId, TimeIdentifierHasNoPaddingOrSeparators) {
  EXPECT_EQ(time_id({2026, 12, 7, 0, 36, 38}, 523), "202612703638523");
  EXPECT_EQ(time_id({2026, 1, 1, 0, 0, 0}, 100), "202611000100");
  EXPECT_EQ(time_id({2026, 12, 31, 23, 59, 59}, 999), "20261231235959999");
}

TEST(MachineId, FallbackIsTheTimeIdentifierWithARandomPartInRange) {
  headless::HeadlessBackend clock;
  clock.set_local_time({2026, 12, 7, 0, 36, 38});
  headless::FixedAdapters none;
  for (int i = 0; i < 50; ++i) {
    const std::string id = machine_identifier(none, clock);
    ASSERT_EQ(id.size(), 15u);
    EXPECT_EQ(id.substr(0, 12), "202612703638");
    const int random_part = std::stoi(id.substr(12));
    EXPECT_GE(random_part, 100);
    EXPECT_LE(random_part, 999);
  }
}

}  // namespace
}  // namespace pelmora::mac
