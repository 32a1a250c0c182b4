#include <string>
#include <vector>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::PlayState;

class EndOfItem : public pelmora::testing::MainWindowTest {
 protected:
  // The window playing the last two seconds of a 100-second item; navigations of Web2 are
  // recorded here and cancelled, so the end-of-playback step is seen on its own.
  BA1& open_ending() {
    BA1& ba1 = open_window();
    ba1.Web2.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
      marker_navigations.push_back(url);
      cancel = true;
    };
    player().address = "qvod://100|ABC|e5|";
    player().state = PlayState::kPlaying;
    player().duration_s = 100;
    player().position_s = 99;
    return ba1;
  }
  // The tick that notices the last two seconds, then the end-of-playback tick two seconds on.
  void run_to_end() {
    headless.backend.advance(1000);
    ASSERT_TRUE(window->Timer2.timer_enabled());
    headless.backend.advance(2000);
  }

  std::vector<std::string> marker_navigations;
};

TEST_F(EndOfItem, ArmingAndDisarmingChangeTheShutdownButton) {
  BA1& ba1 = open_window();
  EXPECT_EQ(ba1.bo_but[6].tool_tip(), "计划关机");
  EXPECT_FALSE(ba1.shutdown_armed());
  ba1.kaiqi_Click();
  EXPECT_EQ(ba1.bo_but[6].tool_tip(), "已开启自动关机");
  EXPECT_TRUE(ba1.shutdown_armed());
  const platform::CellCopy* cell = ba1.bo_but[6].cell_at(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->source, "ppt(17)");
  EXPECT_EQ(cell->from, (platform::Rect{0, 0, 25, 25}));
  ba1.quxiao_Click();
  ba1.kaiqi_Click();
  ba1.quxiao_Click();
  EXPECT_EQ(ba1.bo_but[6].tool_tip(), "计划关机");
  EXPECT_FALSE(ba1.shutdown_armed());
  EXPECT_EQ(ba1.bo_but[6].cell_at(0, 0)->source, "ppt(16)");
}

TEST_F(EndOfItem, ArmedShutdownEndsTheItemAndShutsDownInsteadOfTheNextEpisode) {
  BA1& ba1 = open_ending();
  ba1.next_link = "eeqvod://qvod&&&a&&&b&&&c&&&12&&&2&&&6";
  ba1.kaiqi_Click();
  run_to_end();
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_TRUE(ba1.bo_ad.visible());
  EXPECT_FALSE(ba1.player_view.visible());
  EXPECT_EQ(headless.power.shutdowns, 1);
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_TRUE(marker_navigations.empty());
  headless.backend.advance(10000);
  EXPECT_EQ(headless.power.shutdowns, 1);
}

TEST_F(EndOfItem, PreparedNextEpisodeIsAnnouncedThroughTheEndMarker) {
  BA1& ba1 = open_ending();
  ba1.next_link = "eeqvod://qvod&&&a&&&b&&&c&&&12&&&2&&&6";
  run_to_end();
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_EQ(marker_navigations, std::vector<std::string>{config.end_marker});
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
  EXPECT_TRUE(ba1.next_s.visible());
  EXPECT_EQ(ba1.resume_pos, 1);
  EXPECT_EQ(ba1.last_position, 1);
  EXPECT_EQ(headless.power.shutdowns, 0);
}

TEST_F(EndOfItem, FailedNextEpisodeFetchStillAnnouncesTheEnd) {
  BA1& ba1 = open_ending();
  ba1.next_link = "3";
  run_to_end();
  EXPECT_EQ(marker_navigations, std::vector<std::string>{config.end_marker});
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_FALSE(ba1.next_s.visible());
}

TEST_F(EndOfItem, WithoutANextEpisodeOnlyTheStatusLineChanges) {
  for (const std::string next : {"0", "1", ""}) {
    SCOPED_TRACE(next);
    BA1& ba1 = open_ending();
    ba1.next_link = next;
    marker_navigations.clear();
    ba1.Timer2_Timer();
    EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
    EXPECT_TRUE(marker_navigations.empty());
    EXPECT_TRUE(ba1.Timer1.timer_enabled());
    EXPECT_EQ(ba1.last_position, 1);
  }
  EXPECT_EQ(headless.power.shutdowns, 0);
}

}  // namespace
}  // namespace pelmora::app
