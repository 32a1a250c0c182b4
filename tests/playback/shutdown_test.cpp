#include <string>
#include <vector>

#include "app/main_window.h"
#include "lists/list_files.h"
#include "playback/session.h"
#include "playback/shutdown_notice.h"
#include "support/main_window_fixture.h"
#include "tray/tips_form.h"

namespace pelmora::app {
namespace {

using platform::PlayState;

class EndOfItem : public pelmora::testing::MainWindowTest {
 protected:
  enum class Next { kNotAsked, kFailed, kPrepared };
  EndOfItem() {
    service.on("/h.asp", [](const std::string&, const std::string& query) {
      return query == "id=12&v=2&v1=6"
                 ? pelmora::testing::LoopbackServer::Reply{200, "n6$qvod://next|$qvod"}
                 : pelmora::testing::LoopbackServer::Reply{500, ""};
    });
  }
  // The window playing the last two seconds of a 100-second network episode, with its next
  // episode as asked.
  BA1& open_ending(Next next = Next::kNotAsked) {
    BA1& ba1 = open_window();
    play_network_episode(ba1, next == Next::kFailed ? "13-2-5-x" : "12-2-5-x", "12",
                         "qvod://100|ABC|e5|");
    if (next != Next::kNotAsked) {
      ba1.session().fetch_next();
      settle();
    }
    ba1.Web5.clear_requests();
    player().calls.clear();
    player().state = PlayState::kPlaying;
    player().duration_s = 100;
    player().position_s = 99;
    return ba1;
  }
  // The player reaches the item's end, then the end-of-playback step two seconds on.
  void run_to_end() {
    headless.backend.advance(1000);
    player().reach_end();
    ASSERT_TRUE(window->Timer2.timer_enabled());
    headless.backend.advance(2000);
  }
  // What followed the end: the episode list page asked to open the next episode, or the
  // prepared episode played.
  std::vector<std::string> followers() const {
    std::vector<std::string> seen;
    for (const auto& request : window->Web5.requests()) seen.push_back(request.text);
    if (player().address == "qvod://next|") seen.push_back(player().address);
    return seen;
  }
  headless::ScriptedPlayer& player() const {
    return *static_cast<headless::ScriptedPlayer*>(window->session().player());
  }
  std::string list_page(const std::string& episode) const {
    return service.base_url() + "pp.htm?13-2-5-x-" + episode;
  }
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

TEST_F(EndOfItem, ArmedShutdownCountsDownThirtySecondsThenShutsDownInsteadOfTheNextEpisode) {
  BA1& ba1 = open_ending(Next::kPrepared);
  ba1.tip_form().kaiqi.raise_click();
  run_to_end();
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_TRUE(ba1.bo_ad.visible());
  EXPECT_FALSE(ba1.player_view.visible());
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_TRUE(followers().empty());
  // The notice counts down; the computer is not shut down before the count runs out.
  playback::ShutdownNotice& notice = ba1.shutdown_notice();
  EXPECT_TRUE(notice.shown());
  EXPECT_EQ(notice.message.caption(), playback::ShutdownNotice::text_for(30));
  headless.backend.advance(29000);
  EXPECT_EQ(notice.message.caption(), playback::ShutdownNotice::text_for(1));
  EXPECT_EQ(headless.power.shutdowns, 0);
  headless.backend.advance(1000);
  EXPECT_EQ(headless.power.shutdowns, 1);
  EXPECT_FALSE(notice.shown());
  headless.backend.advance(60000);
  EXPECT_EQ(headless.power.shutdowns, 1);
}

TEST_F(EndOfItem, CancellingTheShutdownNoticeDisarmsAndNeverShutsDown) {
  BA1& ba1 = open_ending();
  ba1.tip_form().kaiqi.raise_click();
  run_to_end();
  playback::ShutdownNotice& notice = ba1.shutdown_notice();
  headless.backend.advance(10000);
  notice.pointer().click(notice.cancel.left() + 5, notice.cancel.top() + 5);
  EXPECT_FALSE(notice.shown());
  EXPECT_FALSE(ba1.shutdown_armed());
  EXPECT_EQ(ba1.bo_but[6].tool_tip(), "计划关机");
  EXPECT_TRUE(ba1.tip_form().quxiao.checked());
  EXPECT_FALSE(ba1.tip_form().kaiqi.checked());
  headless.backend.advance(60000);
  EXPECT_EQ(headless.power.shutdowns, 0);
  // Escape and the window's close are cancelling too.
  ba1.tip_form().kaiqi.raise_click();
  ba1.announce_shutdown();
  notice.raise_key_down(27, 0);
  ba1.tip_form().kaiqi.raise_click();
  ba1.announce_shutdown();
  notice.on_close_request();
  headless.backend.advance(60000);
  EXPECT_EQ(headless.power.shutdowns, 0);
  EXPECT_FALSE(ba1.shutdown_armed());
}

TEST_F(EndOfItem, APreparedNextEpisodePlaysAtTheEnd) {
  BA1& ba1 = open_ending(Next::kPrepared);
  run_to_end();
  // It plays as its play link would: its own episode list shows.
  EXPECT_EQ(followers(),
            (std::vector<std::string>{service.base_url() + "pp.htm?12-2-6-x-0", "qvod://next|"}));
  EXPECT_EQ(playing_episode(ba1), "12-2-6-x");
  EXPECT_EQ(ba1.bo_name.caption(), "x-n6");
  EXPECT_TRUE(ba1.next_s.visible());
  EXPECT_EQ(headless.power.shutdowns, 0);
}

TEST_F(EndOfItem, AfterAFailedFetchTheEpisodeListOpensTheNextAndWithoutOneNothingFollows) {
  BA1& ba1 = open_ending(Next::kFailed);
  ASSERT_EQ(ba1.session().next().state, playback::NextEpisode::State::kFailed);
  run_to_end();
  EXPECT_EQ(followers(), std::vector<std::string>{list_page("26")});
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_FALSE(ba1.next_s.visible());

  BA1& other = open_ending(Next::kNotAsked);
  other.Timer2.set_timer_enabled(true);
  other.Timer2.raise_timer();
  EXPECT_EQ(other.zhun.caption(), "播放完毕");
  EXPECT_TRUE(followers().empty());
  EXPECT_TRUE(other.Timer1.timer_enabled());
  EXPECT_EQ(other.session().last_position(), 1);
  EXPECT_EQ(headless.power.shutdowns, 0);
}

// The player reads as finished once the item has ended (state 0, Position 0): the end-of-playback
// step runs once, however long the window then waits, and a stop afterwards saves the finished
// item's resume point (1) over the one it was opened at.
TEST_F(EndOfItem, AnEndedItemEndsOnceAndResumesFromItsStartAfterwards) {
  BA1& ba1 = open_ending(Next::kFailed);
  ASSERT_TRUE(lists::add_task(ba1.list_place(), 12, "name", "label", "qvod%3A//a", 2, 5, 40));
  headless.backend.advance(1000);
  player().reach_end();
  ASSERT_TRUE(ba1.Timer2.timer_enabled());
  headless.backend.advance(30000);
  EXPECT_EQ(followers(), std::vector<std::string>{list_page("26")});
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_EQ(ba1.times.caption(), "00:00 / 01:40");
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  EXPECT_EQ(ba1.session().last_position(), 1);
  ba1.Pic2.set_visible(false);  // the player, not a web page, is on view
  ba1.bo_but_Click(1);
  EXPECT_EQ(folder.read("date.dat"), "12|name|label|qvod%3A//a|2|5|1\r\n");
}

// Playing the finished item again makes it an ordinary item: its end is seen once more.
TEST_F(EndOfItem, PlayingAFinishedItemAgainEndsItOnceMore) {
  BA1& ba1 = open_ending(Next::kFailed);
  headless.backend.advance(1000);
  player().reach_end();
  headless.backend.advance(5000);
  ASSERT_EQ(followers().size(), 1u);
  player().play();
  player().position_s = 50;
  headless.backend.advance(3000);
  EXPECT_EQ(ba1.session().last_position(), 50);
  player().position_s = 99;
  headless.backend.advance(1000);
  player().reach_end();
  headless.backend.advance(5000);
  EXPECT_EQ(followers().size(), 2u);
}

TEST_F(EndOfItem, AnItemThatCannotBePlayedSaysWhy) {
  const std::vector<std::pair<platform::PlayFailure, std::string>> cases = {
      {platform::PlayFailure::kUnreachable, "播放失败：无法连接播放地址"},
      {platform::PlayFailure::kMissingFile, "播放失败：文件不存在"},
      {platform::PlayFailure::kUnsupportedFormat, "播放失败：不支持的文件格式"},
      {platform::PlayFailure::kBrokenFile, "播放失败：文件已损坏"},
      {platform::PlayFailure::kFolderFull, "播放失败：下载文件夹所在磁盘已满"},
      {platform::PlayFailure::kNone, "已停止"},
  };
  BA1& ba1 = open_ending();
  for (const auto& [why, line] : cases) {
    SCOPED_TRACE(line);
    player().fail(why);
    ba1.show_playing(true, true);
    headless.backend.advance(1000);
    EXPECT_EQ(ba1.zhun.caption(), line);
    EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
    EXPECT_TRUE(ba1.bo_ad.visible());
  }
  EXPECT_TRUE(followers().empty());
}

}  // namespace
}  // namespace pelmora::app
