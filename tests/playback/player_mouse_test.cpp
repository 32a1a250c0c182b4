#include <filesystem>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "platform/screen.h"
#include "playback/dropped_item.h"
#include "playback/session.h"
#include "shell/shell_window.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::PlayState;

class PlayerMouse : public pelmora::testing::ShellTest {
 protected:
  // The window laid out on its playback tab, with a network episode loaded.
  BA1& open_loaded() {
    BA1& ba1 = open_shell();
    click_on(ba1, ba1.npc[9]);
    play_network_episode(ba1, "12-2-5-x", "12", "qvod://100|ABC|e5|");
    player().state = PlayState::kPlaying;
    player().duration_s = 100;
    player().position_s = 40;
    return ba1;
  }
};

TEST_F(PlayerMouse, NextOnTheLastEpisodeSaysThereIsNoneForAFewSeconds) {
  service.on("/h.asp", [](const std::string&, const std::string&) {
    return pelmora::testing::LoopbackServer::Reply{200, "1"};
  });
  BA1& ba1 = open_loaded();
  click_on(ba1, ba1.bo_but[7]);
  settle();
  EXPECT_EQ(ba1.zhun.caption(), playback::kNoLaterEpisode);
  headless.backend.advance(3000);
  EXPECT_EQ(ba1.zhun.caption(), playback::kNoLaterEpisode);
  headless.backend.advance(1000);
  EXPECT_NE(ba1.zhun.caption(), playback::kNoLaterEpisode);
  EXPECT_TRUE(ba1.bo_but[7].enabled());
}

// (The window session keeps and restores them across a real restart; here, a place off the
// screens of the next start, and a drop's lines.)
TEST_F(PlayerMouse, AKeptPlaceOffTheScreenComesBackOntoTheWorkArea) {
  set_setting("S_q", "h_x", "999999");
  set_setting("S_q", "h_y", "-5000");
  set_setting("S_q", "mute", "2");
  BA1& ba1 = open_window();
  EXPECT_TRUE(player().muted);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "取消静音");
  const platform::Rect area = headless.screen.work_area();
  EXPECT_LE(ba1.left() / 15, area.right() - 100);
  EXPECT_GE(ba1.top() / 15, area.top);
}

TEST_F(PlayerMouse, ADropPlaysItsFirstFileOrLinkAndRefusesAnythingElse) {
  const std::string clip = folder.file("a clip.mp4");
  std::ofstream(clip) << "x";
  const auto is_file = [](const std::string& path) {
    return std::filesystem::is_regular_file(path);
  };
  using playback::drops::Dropped;
  using playback::drops::first_playable;
  EXPECT_EQ(
      first_playable({"# a comment\r\nfile://" + folder.path() + "/a%20clip.mp4\r\n"}, is_file),
      (Dropped{Dropped::Kind::kFile, clip}));
  EXPECT_EQ(first_playable({folder.path(), "QVOD://12|AB|n|"}, is_file),
            (Dropped{Dropped::Kind::kAddress, "QVOD://12|AB|n|"}));
  EXPECT_FALSE(first_playable({"just words", folder.file("missing.mp4"), "ftp://h/a"}, is_file));
}

}  // namespace
}  // namespace pelmora::app
