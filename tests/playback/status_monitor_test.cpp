#include <string>
#include <vector>

#include "app/main_window.h"
#include "playback/session.h"
#include "playback/status_text.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::PlayState;

class StatusMonitor : public pelmora::testing::MainWindowTest {
 protected:
  // The window with an item loaded and the seek bar laid out: a 400-pixel track and a
  // 10-pixel thumb (390 pixels of travel).
  BA1& open_loaded() {
    BA1& ba1 = open_window();
    ba1.gunt.move(0, 0, 400, 8);
    ba1.gunt1.move(0, 0, 10, 8);
    ba1.qvod.move(0, 0, 600, 400);
    ba1.times.move(0, 0, 90, 14);
    player().address = "qvod://100|ABC|film.rmvb|";
    player().duration_s = 240;
    player().position_s = 60;
    return ba1;
  }
  void tick() { headless.backend.advance(1000); }
  // The loaded item was started from a history entry that resumes at `seconds`.
  void resume_at(BA1& ba1, int seconds) {
    playback::Start start;
    start.item = playback::LocalFile{player().address};
    start.address = player().address;
    start.resume = seconds;
    ba1.session().start(std::move(start));
    player().calls.clear();
  }
  int calls_of(const std::string& call) {
    int count = 0;
    for (const std::string& c : player().calls) count += c == call;
    return count;
  }
  std::vector<std::string> balloon_texts() {
    std::vector<std::string> texts;
    for (const auto& balloon : headless.tray.balloons) texts.push_back(balloon.text);
    return texts;
  }
};

TEST_F(StatusMonitor, WithNothingLoadedShowsReadyAndTouchesNothingElse) {
  BA1& ba1 = open_window();
  ba1.show_playing(true, false);
  ba1.show_status("已停止");
  ba1.huan.move(0, 0, 50, 4);
  const std::vector<platform::CellCopy> painted = ba1.bo_but[0].cells();
  tick();
  EXPECT_EQ(ba1.zhun.caption(), "准备就绪");
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  EXPECT_EQ(ba1.huan.left(), -30);
  EXPECT_EQ(ba1.times.caption(), "00:00 /00:00");
  EXPECT_EQ(ba1.bo_but[0].cells(), painted);
}

TEST_F(StatusMonitor, NamesEveryStateThatIsNotPlaying) {
  struct Case {
    PlayState state;
    int rate;
    std::string line;
    bool resets_play_button;
  };
  const std::vector<Case> cases = {
      {PlayState::kReady, 3, "播放完毕", true},
      {PlayState::kStopped, 3, "已停止", true},
      {PlayState::kPaused, 3, "已暂停 (3Kbps/S)", true},
      {PlayState::kPaused, 0, "已暂停", true},
      {PlayState::kBuffering, 7, "正在缓冲 (7Kbps/S)", false},
      {PlayState::kWaiting, 3, "等待中", false},
      {PlayState::kEnded, 3, "播放结束", false},
      {PlayState::kPreparing, 3, "准备读", false},
      {PlayState::kReconnecting, 3, "重连中", false},
      {PlayState::kFetchingSeed, 3, "BT种子下载中", false},
      {PlayState::kConnecting, 12, "正在连接 (12KB/S)", false},
      {PlayState::kStopping, 3, "正在停止", false},
  };
  BA1& ba1 = open_loaded();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ba1.show_playing(true, false);
    ba1.bo_but[0].clear_surface();
    ba1.bo_ad.set_visible(false);
    ba1.player_view.set_visible(true);
    player().state = c.state;
    player().transfer_kbs = c.rate;
    tick();
    EXPECT_EQ(ba1.zhun.caption(), c.line);
    EXPECT_EQ(ba1.bo_but[0].tool_tip(), c.resets_play_button ? "播放" : "暂停");
    // A paused picture stays on view while no advert page is switched on.
    EXPECT_EQ(ba1.bo_ad.visible(), c.state != PlayState::kPaused);
    EXPECT_EQ(ba1.player_view.visible(), c.state == PlayState::kPaused);
    // Only the paused state paints the play picture; the others leave the button as it was.
    const platform::CellCopy* cell = ba1.bo_but[0].cell_at(0, 0);
    if (c.state == PlayState::kPaused) {
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->source, "ppt(12)");
      EXPECT_EQ(cell->from, (platform::Rect{0, 0, 50, 30}));
    } else {
      EXPECT_EQ(cell, nullptr);
    }
  }
}

TEST_F(StatusMonitor, UnknownStateCodeKeepsTheStatusLine) {
  BA1& ba1 = open_loaded();
  ba1.zhun.set_caption("正在连接 (1KB/S)");
  player().state = static_cast<PlayState>(12);
  tick();
  EXPECT_EQ(ba1.zhun.caption(), "正在连接 (1KB/S)");
  EXPECT_EQ(ba1.times.caption(), "01:00 / 04:00");
}

TEST_F(StatusMonitor, PlayingShowsThePictureAndSwitchesThePlayButtonToPause) {
  BA1& ba1 = open_loaded();
  ba1.next_s.set_visible(true);
  player().state = PlayState::kPlaying;
  tick();
  EXPECT_FALSE(ba1.bo_ad.visible());
  EXPECT_TRUE(ba1.player_view.visible());
  EXPECT_FALSE(ba1.next_s.visible());
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "暂停");
  const platform::CellCopy* cell = ba1.bo_but[0].cell_at(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->source, "ppt(12)");
  EXPECT_EQ(cell->from, (platform::Rect{100, 0, 50, 30}));
  EXPECT_EQ(cell->to, (platform::Rect{0, 0, 50, 30}));
  EXPECT_EQ(ba1.session().resume_position(), 60);
  EXPECT_EQ(ba1.session().last_position(), 60);
}

TEST_F(StatusMonitor, PlayingShowsTheStreamRateUntilTheTransferRateCounts) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPlaying;
  player().stream_kbps = 480;
  player().transfer_kbs = 0;
  player().position_s = 2;
  tick();
  EXPECT_EQ(ba1.zhun.caption(), "播放中(480 Kbps)");
  player().transfer_kbs = 35;
  player().position_s = 6;
  tick();
  EXPECT_EQ(ba1.zhun.caption(), "播放中(480 Kbps)");
  player().position_s = 7;
  tick();
  EXPECT_EQ(ba1.zhun.caption(), "播放中(35 Kbps/S)");
}

TEST_F(StatusMonitor, MovesTheTimeDisplayThumbAndDownloadBar) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kBuffering;
  player().permille = 500;
  tick();
  EXPECT_EQ(ba1.times.caption(), "01:00 / 04:00");
  EXPECT_EQ(ba1.times.left(), 600 - 90 - 13);
  EXPECT_EQ(ba1.gunt1.left(), 98);  // 60 / 240 of 390, 97.5 taken to the even neighbour
  EXPECT_EQ(ba1.gunt1.tool_tip(), "01:00");
  EXPECT_EQ(ba1.huan.rect(), (platform::Rect{0, 0, 200, ba1.huan.height()}));

  player().permille = 0;
  player().duration_s = 0;
  tick();
  EXPECT_EQ(ba1.gunt1.left(), 0);
  EXPECT_EQ(ba1.huan.left(), -30);
  EXPECT_EQ(ba1.huan.width(), 0);
  EXPECT_EQ(ba1.times.caption(), "01:00 / 00:00");
}

// The resume point went to the player with the item: no tick seeks, whatever the player reads.
TEST_F(StatusMonitor, TheMonitorNeverSeeksToTheResumePoint) {
  BA1& ba1 = open_loaded();
  resume_at(ba1, 150);
  player().position_s = 2;
  player().state = PlayState::kConnecting;
  tick();
  player().state = PlayState::kPlaying;
  tick();
  EXPECT_EQ(calls_of("Position=150"), 0);
  player().position_s = 20;  // the user went back
  tick();
  EXPECT_EQ(calls_of("Position=150"), 0);
  EXPECT_EQ(ba1.session().resume_position(), 20);
}

TEST_F(StatusMonitor, NoResumeSeekWhenAlreadyPastThePosition) {
  BA1& ba1 = open_loaded();
  resume_at(ba1, 30);
  player().state = PlayState::kPlaying;
  tick();
  tick();
  EXPECT_EQ(calls_of("Position=30"), 0);
}

TEST_F(StatusMonitor, LastTwoSecondsWithoutBalloonsLeaveTheDisplayAsItIs) {
  set_setting("S_q", "s_pao", "1");
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPlaying;
  player().duration_s = 100;
  player().position_s = 99;
  player().permille = 900;
  ba1.zhun.set_caption("播放中(5 Kbps/S)");
  ASSERT_FALSE(ba1.Timer2.timer_enabled());
  ba1.Timer1_Timer();
  // The end step waits for the player's end of the item.
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_EQ(ba1.session().last_position(), 99);
  EXPECT_EQ(ba1.zhun.caption(), "播放中(5 Kbps/S)");
  EXPECT_EQ(ba1.times.caption(), "00:00 /00:00");
  EXPECT_TRUE(player().prepared.empty());
  EXPECT_TRUE(headless.tray.balloons.empty());
}

TEST_F(StatusMonitor, TheEndAnnouncesShutdownOrTheNextEpisodeWhenBalloonsAreOn) {
  set_setting("S_q", "s_pao", "2");
  service.on("/h.asp", [](const std::string&, const std::string&) {
    return pelmora::testing::LoopbackServer::Reply{200, "n4$qvod://next|$qvod"};
  });
  BA1& ba1 = open_loaded();
  play_network_episode(ba1, "1-2-3-x", "1", player().address);
  ba1.session().fetch_next();
  settle();
  player().state = PlayState::kPlaying;
  player().duration_s = 100;
  player().position_s = 99;
  ba1.Timer1_Timer();
  // With balloons on, the tick goes on to the status line.
  EXPECT_EQ(ba1.zhun.caption(), "播放中(0 Kbps)");
  player().reach_end();
  player().set_position(50);  // sought back: the item plays on, and ends again
  player().state = PlayState::kPlaying;
  ba1.kaiqi_Click();
  player().reach_end();
  EXPECT_EQ(balloon_texts(),
            (std::vector<std::string>{"正在准备播放下一集！", "即将播放完毕，正准备自动关机！"}));
}

TEST_F(StatusMonitor, AnItemThatEndsWithNothingNextLeavesThePlayButtonOfferingPlay) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPlaying;
  player().duration_s = 100;
  player().position_s = 99;
  ba1.show_playing(true, false);
  ba1.Timer1_Timer();
  player().reach_end();
  ASSERT_TRUE(ba1.Timer2.timer_enabled());
  headless.backend.advance(2000);
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  const platform::CellCopy* cell = ba1.bo_but[0].cell_at(0, 0);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(cell->source, "ppt(12)");
  EXPECT_EQ(cell->from.left, 0);  // the play picture, not the pause one
}

// An item whose length is not known yet has no last two seconds: ending it (and possibly the
// computer) after two seconds of a live stream would be wrong.
TEST_F(StatusMonitor, UnknownLengthNeverStartsTheEndTimer) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPlaying;
  player().duration_s = 0;
  player().position_s = 5;
  ba1.Timer1_Timer();
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
}

TEST(StatusTexts, PlayingTextSwitchesToTheTransferRateAfterSixSeconds) {
  EXPECT_EQ(playback::status::playing_text(5, 7, 300), "播放中(5 Kbps/S)");
  EXPECT_EQ(playback::status::playing_text(5, 6, 300), "播放中(300 Kbps)");
  EXPECT_EQ(playback::status::playing_text(0, 100, 300), "播放中(300 Kbps)");
  EXPECT_EQ(playback::status::state_text(PlayState::kReady, 0, false), "准备就绪");
}

}  // namespace
}  // namespace pelmora::app
