#include "platform/headless/scripted_player.h"

#include <gtest/gtest.h>

namespace pelmora::headless {
namespace {

// The end of an item is held for the readings as the desktop player holds it: once, whoever
// else read the position, and not when the readings saw the last two seconds themselves.
TEST(ScriptedPlayer, TheReadingsSeeTheEndOnceWhoeverElseReadsThePosition) {
  ScriptedPlayer player;
  player.duration_s = 100;
  player.set_position(99);
  EXPECT_EQ(player.position(), 99);
  player.reach_end();
  EXPECT_EQ(player.position(), 0);
  EXPECT_EQ(player.readings().position, 100);
  EXPECT_EQ(player.readings().position, 0);

  player.set_position(99);
  EXPECT_EQ(player.readings().position, 99);
  player.reach_end();
  EXPECT_EQ(player.readings().position, 0);
}

}  // namespace
}  // namespace pelmora::headless
