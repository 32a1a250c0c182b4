#include <string>
#include <vector>

#include "app/main_window.h"
#include "lists/list_files.h"
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

// The player reads as finished once the item has ended (state 0, Position 0): the end-of-playback
// step runs once, however long the window then waits, and a stop afterwards saves the finished
// item's resume point (1) over the one it was opened at.
TEST_F(EndOfItem, AnEndedItemEndsOnceAndResumesFromItsStartAfterwards) {
  BA1& ba1 = open_ending();
  ASSERT_TRUE(lists::add_task(ba1.list_place(), 77, "name", "label", "qvod%3A//a", 2, 5, 40));
  ba1.cur_item = "77";
  ba1.list_kind = 1;
  ba1.next_link = "3";  // the next episode could not be fetched: the marker announces the end
  headless.backend.advance(1000);
  ASSERT_TRUE(ba1.Timer2.timer_enabled());
  player().reach_end();
  headless.backend.advance(30000);
  EXPECT_EQ(marker_navigations, std::vector<std::string>{config.end_marker});
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_EQ(ba1.times.caption(), "00:00 / 01:40");
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  EXPECT_EQ(ba1.last_position, 1);
  ba1.Pic2.set_visible(false);  // the player, not a web page, is on view
  ba1.bo_but_Click(1);
  EXPECT_EQ(folder.read("date.dat"), "77|name|label|qvod%3A//a|2|5|1\r\n");
}

// Playing the finished item again makes it an ordinary item: its end is seen once more.
TEST_F(EndOfItem, PlayingAFinishedItemAgainEndsItOnceMore) {
  BA1& ba1 = open_ending();
  ba1.next_link = "3";
  headless.backend.advance(1000);
  player().reach_end();
  headless.backend.advance(5000);
  ASSERT_EQ(marker_navigations.size(), 1u);
  player().play();
  player().position_s = 50;
  headless.backend.advance(3000);
  EXPECT_EQ(ba1.last_position, 50);
  player().position_s = 99;
  headless.backend.advance(1000);
  player().reach_end();
  headless.backend.advance(5000);
  EXPECT_EQ(marker_navigations.size(), 2u);
}

TEST_F(EndOfItem, AnItemThatCannotBePlayedSaysWhy) {
  const std::vector<std::pair<platform::PlayFailure, std::string>> cases = {
      {platform::PlayFailure::kUnreachable, "播放失败：无法连接播放地址"},
      {platform::PlayFailure::kMissingFile, "播放失败：文件不存在"},
      {platform::PlayFailure::kUnsupportedFormat, "播放失败：不支持的文件格式"},
      {platform::PlayFailure::kBrokenFile, "播放失败：文件已损坏"},
      {platform::PlayFailure::kNone, "已停止"},
  };
  BA1& ba1 = open_ending();
  for (const auto& [why, line] : cases) {
    SCOPED_TRACE(line);
    player().fail(why);
    ba1.bo_but[0].set_tool_tip("暂停");
    headless.backend.advance(1000);
    EXPECT_EQ(ba1.zhun.caption(), line);
    EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
    EXPECT_TRUE(ba1.bo_ad.visible());
  }
  EXPECT_TRUE(marker_navigations.empty());
}

}  // namespace
}  // namespace pelmora::app
