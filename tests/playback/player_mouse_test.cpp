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

TEST_F(PlayerMouse, VolumeMuteAndPlaceAreKeptAtExitAndTakenBackOnScreen) {
  BA1& first = open_shell();
  player().volume_percent = 30;
  first.bo_but_Click(2);
  first.move(150 * 15, 90 * 15, first.width(), first.height());
  first.keep_remembered();
  EXPECT_EQ(setting("S_q", "vol"), "30");
  EXPECT_EQ(setting("S_q", "mute"), "2");
  EXPECT_EQ(setting("S_q", "h_x"), std::to_string(150 * 15));
  EXPECT_EQ(setting("S_q", "h_y"), std::to_string(90 * 15));

  // A place on a screen that is no longer there comes back onto the work area.
  window.reset();
  set_setting("S_q", "h_x", "999999");
  set_setting("S_q", "h_y", "-5000");
  BA1& second = open_window();
  EXPECT_EQ(player().volume_percent, 30);
  EXPECT_TRUE(player().muted);
  EXPECT_EQ(second.bo_but[2].tool_tip(), "取消静音");
  const platform::Rect area = headless.screen.work_area();
  EXPECT_LE(second.left() / 15, area.right() - 100);
  EXPECT_GE(second.top() / 15, area.top);
}

TEST_F(PlayerMouse, ADroppedFileOrLinkPlaysAsIfOpenedAndOtherDropsAreRefused) {
  namespace fs = std::filesystem;
  const std::string clip = folder.file("a clip.mp4");
  std::ofstream(clip) << "x";
  const auto is_file = [](const std::string& path) { return fs::is_regular_file(path); };
  using playback::drops::Dropped;
  using playback::drops::first_playable;
  EXPECT_EQ(
      first_playable({"# from a file manager\r\nfile://" + folder.path() + "/a%20clip.mp4\r\n"},
                     is_file),
      (Dropped{Dropped::Kind::kFile, clip}));
  EXPECT_EQ(first_playable({folder.path(), "QVOD://12|AB|n|"}, is_file),
            (Dropped{Dropped::Kind::kAddress, "QVOD://12|AB|n|"}));
  EXPECT_FALSE(first_playable({"just words", folder.file("missing.mp4"), "ftp://h/a"}, is_file));

  BA1& ba1 = open_shell();
  EXPECT_FALSE(ba1.accepts_drop({"just words"}));
  ASSERT_TRUE(ba1.accepts_drop({clip}));
  ba1.on_drop({clip});
  EXPECT_EQ(playing_file(ba1), clip);
  EXPECT_EQ(player().address, clip);
  ba1.on_drop({"http://127.0.0.1:9/a.mp4"});
  EXPECT_EQ(player().address, "http://127.0.0.1:9/a.mp4");
}

}  // namespace
}  // namespace pelmora::app
