#include <string>
#include <vector>

#include "app/main_window.h"
#include "lists/list_files.h"
#include "platform/backend.h"
#include "playback/button_cells.h"
#include "playback/session.h"
#include "shell/shell_window.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::MouseButton;
using platform::MouseEvent;
using platform::PlayState;
using platform::Rect;

class Transport : public pelmora::testing::ShellTest {
 protected:
  // The window laid out at its size with the playback tab on view, where the transport bar is.
  BA1& open_playback() {
    BA1& ba1 = open_shell();
    click_on(ba1, ba1.npc[9]);
    return ba1;
  }
  BA1& open_loaded() { return load(open_playback()); }
  // For the keys, which need no pointer: the bars at fixed sizes.
  BA1& open_sized() {
    BA1& ba1 = open_window();
    ba1.gunt.move(0, 0, 400, 8);
    ba1.gunt1.move(0, 0, 10, 8);
    ba1.yin.move(0, 0, 100, 8);
    ba1.bo_v.move(0, 0, 10, 8);
    return load(ba1);
  }
  BA1& load(BA1& ba1) {
    // The player, not a web page, is on view (the playback tab hides the web player's panel).
    ba1.Pic2.set_visible(false);
    player().address = "qvod://100|ABC|film.rmvb|";
    player().duration_s = 100;
    player().position_s = 40;
    return ba1;
  }
  void tick() { headless.backend.advance(1000); }
  bool called(const std::string& call) {
    const auto& calls = player().calls;
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  // The cell drawn last on a button: strip and left edge.
  static std::pair<std::string, int> cell_of(const platform::PictureBox& button) {
    const platform::CellCopy* cell = button.cell_at(0, 0);
    if (cell == nullptr) return {"", -1};
    return {cell->source, cell->from.left};
  }
};

TEST_F(Transport, PlayPauseIsIgnoredWithNothingLoadedOrAWebItemOrABusyPlayer) {
  BA1& ba1 = open_playback();
  click_on(ba1, ba1.bo_but[0]);
  EXPECT_TRUE(player().calls.size() == 1);  // only the advert page of the load
  player().address = "qvod://x|";
  ba1.Pic2.set_visible(true);
  click_on(ba1, ba1.bo_but[0]);
  ba1.Pic2.set_visible(false);
  player().state = PlayState::kBuffering;
  click_on(ba1, ba1.bo_but[0]);
  player().state = PlayState::kReady;  // finished, and the line does not say stopped
  ba1.show_status("播放完毕");
  click_on(ba1, ba1.bo_but[0]);
  EXPECT_FALSE(called("Play"));
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
}

TEST_F(Transport, PlayPauseTogglesThePlayerPictureAndTooltip) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kStopped;
  ba1.Timer1.set_timer_enabled(false);
  click_on(ba1, ba1.bo_but[0]);
  EXPECT_TRUE(called("Play"));
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "暂停");
  EXPECT_EQ(cell_of(ba1.bo_but[0]), (std::pair<std::string, int>{"ppt(12)", 100}));

  ba1.player_view.set_visible(true);
  ba1.bo_ad.set_visible(false);
  click_on(ba1, ba1.bo_but[0]);
  EXPECT_TRUE(called("Pause"));
  EXPECT_EQ(ba1.zhun.caption(), "已暂停");
  // No advert page is switched on: the paused picture stays, not an empty panel.
  EXPECT_FALSE(ba1.bo_ad.visible());
  EXPECT_TRUE(ba1.player_view.visible());
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  EXPECT_EQ(cell_of(ba1.bo_but[0]), (std::pair<std::string, int>{"ppt(12)", 0}));
  // With the advert page on, pausing shows the advert panel.
  ba1.chrome.advert_shown = true;
  click_on(ba1, ba1.bo_but[0]);
  click_on(ba1, ba1.bo_but[0]);
  EXPECT_TRUE(ba1.bo_ad.visible());
  EXPECT_FALSE(ba1.player_view.visible());
}

TEST_F(Transport, KeysTypedIntoTheSearchBoxLeaveThePlayerAlone) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPlaying;
  ba1.show_playing(true, false);
  ba1.soso.on_got_focus();
  ba1.raise_key_down(32, 0);
  ba1.raise_key_down(37, 0);
  EXPECT_FALSE(called("Pause"));
  EXPECT_EQ(player().position_s, 40);
  ba1.soso.on_lost_focus();
  ba1.raise_key_down(32, 0);
  EXPECT_TRUE(called("Pause"));
}

TEST_F(Transport, TheBigPlayButtonActsAsPlayPause) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPaused;
  click_on(ba1, ba1.adp);
  EXPECT_TRUE(called("Play"));
}

TEST_F(Transport, StopSavesThePositionIntoTheNetworkList) {
  BA1& ba1 = open_loaded();
  ASSERT_TRUE(lists::add_task(ba1.list_place(), 12, "name", "label", "qvod%3A//a", 2, 5, 0));
  play_network_episode(ba1, "12-2-5-name", "12", player().address);
  player().state = PlayState::kPlaying;
  player().position_s = 321;
  tick();
  click_on(ba1, ba1.bo_but[1]);
  EXPECT_NE(folder.read("date.dat").find("12|name|label|qvod%3A//a|2|5|321"), std::string::npos);
  EXPECT_EQ(ba1.session().last_position(), 0);
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
  EXPECT_TRUE(called("Stop"));
  EXPECT_EQ(ba1.zhun.caption(), "已停止");
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  EXPECT_EQ(cell_of(ba1.bo_but[0]), (std::pair<std::string, int>{"ppt(12)", 0}));
  EXPECT_TRUE(ba1.bo_ad.visible());
  EXPECT_FALSE(ba1.player_view.visible());
}

TEST_F(Transport, StopSavesThePositionIntoTheLocalList) {
  BA1& ba1 = open_loaded();
  const std::string path = folder.file("clip one.mp4");
  ASSERT_TRUE(lists::add_local(ba1.list_place(), "clip one.mp4", path, 0));
  play_local_file(ba1, path);
  player().state = PlayState::kPlaying;
  player().position_s = 77;
  tick();
  click_on(ba1, ba1.bo_but[1]);
  EXPECT_NE(folder.read("date_f.dat").find("clip one.mp4|" + path + "|77"), std::string::npos);
}

TEST_F(Transport, StopSavesNothingForAWebItemOrAnItemThatNeverPlayed) {
  BA1& ba1 = open_loaded();
  ASSERT_TRUE(lists::add_task(ba1.list_place(), 12, "name", "label", "a", 2, 5, 0));
  const std::string before = folder.read("date.dat");
  // A web-kind episode from the network list, then an episode stopped before it played.
  playback::Start page;
  page.item = playback::WebEpisode{playback::Episode::of("12-2-5-name")};
  page.web_page = "about:blank";
  ba1.session().start(std::move(page));
  player().state = PlayState::kPlaying;
  player().position_s = 50;
  tick();
  click_on(ba1, ba1.bo_but[1]);
  play_network_episode(ba1, "12-2-5-name", "12", player().address);
  click_on(ba1, ba1.bo_but[1]);
  EXPECT_EQ(folder.read("date.dat"), before);
  // With a web item on view the stop button does nothing at all.
  ba1.session().mark_web_episode(playback::Episode::of("12-2-5-name"));
  ba1.show_status("x");
  click_on(ba1, ba1.bo_but[1]);
  EXPECT_EQ(ba1.zhun.caption(), "x");
}

TEST_F(Transport, SpaceAfterStopPlaysAgainFromWhereItStopped) {
  BA1& ba1 = open_loaded();
  ba1.qvod.set_visible(true);
  player().state = PlayState::kPlaying;
  player().position_s = 95 - 60;
  tick();
  click_on(ba1, ba1.bo_but[1]);
  ba1.raise_key_down(32, 0);
  // The item starts again where it was stopped, with the place given to the player.
  EXPECT_TRUE(called("Play@35"));
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
}

TEST_F(Transport, MuteTogglesAndAVolumeKeyLeavesAnExtraUnmuteClick) {
  BA1& ba1 = open_loaded();
  ba1.qvod.set_visible(true);
  click_on(ba1, ba1.bo_but[2]);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "取消静音");
  EXPECT_TRUE(player().muted);
  EXPECT_EQ(cell_of(ba1.bo_but[2]), (std::pair<std::string, int>{"ppt(14)", 50}));
  click_on(ba1, ba1.bo_but[2]);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "静音");
  EXPECT_FALSE(player().muted);
  EXPECT_EQ(cell_of(ba1.bo_but[2]), (std::pair<std::string, int>{"ppt(14)", 0}));

  ba1.raise_key_down(38, 0);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "关闭声音");
  player().calls.clear();
  click_on(ba1, ba1.bo_but[2]);  // the first click after a volume key unmutes
  EXPECT_EQ(player().calls, std::vector<std::string>{"Mute=0"});
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "静音");
  click_on(ba1, ba1.bo_but[2]);
  EXPECT_EQ(player().calls.back(), "Mute=-1");
}

TEST_F(Transport, FullScreenOnlyWhilePlaying) {
  BA1& ba1 = open_loaded();
  player().state = PlayState::kPaused;
  click_on(ba1, ba1.bo_but[3]);
  EXPECT_FALSE(called("FullScreen=-1"));
  player().state = PlayState::kPlaying;
  click_on(ba1, ba1.bo_but[3]);
  EXPECT_TRUE(player().full_screen);
  EXPECT_EQ(cell_of(ba1.bo_but[3]), (std::pair<std::string, int>{"ppt(16)", 50}));
}

TEST_F(Transport, OpenFilePlaysTheChosenFileAndRecordsItInTheLocalList) {
  BA1& ba1 = open_loaded();
  ba1.p1.set_visible(true);
  ba1.Pic2.set_visible(true);
  ba1.qvod.set_visible(false);
  // A network episode of a series played before, with its next episode asked for, to resume
  // at 500 seconds.
  service.on("/h.asp", [](const std::string&, const std::string&) {
    return pelmora::testing::LoopbackServer::Reply{200, "n6$qvod://next|$qvod"};
  });
  playback::Start episode;
  episode.item = playback::NetworkEpisode{playback::Episode::of("12-2-5-name"), "12"};
  episode.address = player().address;
  episode.resume = 500;
  ba1.session().start(std::move(episode));
  ba1.session().fetch_next();
  settle();
  ASSERT_TRUE(ba1.session().next().prepared());
  const std::string path = folder.file("我的视频 第一集.rmvb");
  headless.dialogs.choose_next_file(path);
  click_on(ba1, ba1.bo_but[4]);

  ASSERT_NE(headless.dialogs.last(), nullptr);
  EXPECT_EQ(headless.dialogs.last()->title, "选择播放文件");
  EXPECT_EQ(headless.dialogs.last()->text,
            "影音文件|*.rm;*.rmvb;*.wmv;*.mp3;*wma;*mid;*wav;*mpg;*mp4|所有文件|*.*");
  EXPECT_FALSE(ba1.p1.visible());
  EXPECT_EQ(player().address, path);
  EXPECT_EQ(player().calls.back(), "Play");
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_EQ(ba1.bo_name.caption(), "我的视频 第一集.rmvb");
  EXPECT_EQ(folder.read("date_f.dat").rfind("我的视频 第一集.rmvb|" + path + "|0\r\n", 0), 0U);
  EXPECT_EQ(playing_file(ba1), path);
  // The file is no episode of that series: nothing of it follows the file's end.
  EXPECT_EQ(playing_episode(ba1), "0");
  EXPECT_FALSE(ba1.session().next().prepared());
  EXPECT_FALSE(ba1.plays_web_page());
  EXPECT_FALSE(ba1.Pic2.visible());
  EXPECT_EQ(ba1.Web2.last_request()->text, "about:blank");
  EXPECT_TRUE(ba1.qvod.visible());
  // The new file starts at its beginning, not at the position the previous item was to resume.
  player().state = PlayState::kPlaying;
  player().position_s = 0;
  tick();
  EXPECT_FALSE(called("Position=500"));
}

TEST_F(Transport, CancelledOpenFileChangesNothingFurther) {
  BA1& ba1 = open_loaded();
  headless.dialogs.choose_next_file(std::nullopt);
  click_on(ba1, ba1.bo_but[4]);
  EXPECT_EQ(cell_of(ba1.bo_but[4]), (std::pair<std::string, int>{"ppt(16)", 25}));
  EXPECT_EQ(player().address, "qvod://100|ABC|film.rmvb|");
  EXPECT_FALSE(called("Stop"));
}

TEST_F(Transport, ShutdownButtonPopsUpTheShutdownMenu) {
  BA1& ba1 = open_playback();
  platform::Form tip("tip");
  platform::MenuItem guan(&tip, "guan");
  platform::MenuItem kaiqi(&tip, "kaiqi");
  kaiqi.set_caption("开启播放完自动关机");
  kaiqi.on_click = [&] { ba1.kaiqi_Click(); };
  guan.add_item(kaiqi);
  ba1.shutdown_menu = nullptr;
  click_on(ba1, ba1.bo_but[6]);  // no menu: nothing happens
  EXPECT_TRUE(headless.backend.popups().empty());
  ba1.shutdown_menu = &guan;
  headless.backend.choose_next_menu_item("开启播放完自动关机");
  click_on(ba1, ba1.bo_but[6]);
  EXPECT_EQ(headless.backend.popups(), std::vector<std::string>{"guan"});
  EXPECT_TRUE(ba1.shutdown_armed());
}

TEST_F(Transport, HoverDrawsTheOverCellAndShowsTheHint) {
  BA1& ba1 = open_window();
  ba1.bo_but[1].move(100, 5, 25, 25);
  ba1.p1.move(0, 0, 40, 20);
  ba1.bo_tip.move(0, 0, 30, 12);
  ba1.bo_but[1].raise_mouse_move({MouseButton::kNone, 0, 25, 25});
  EXPECT_EQ(cell_of(ba1.bo_but[1]), (std::pair<std::string, int>{"ppt(13)", 25}));
  EXPECT_TRUE(ba1.bo_but[1].has_capture());
  EXPECT_EQ(ba1.bo_tip.caption(), "停止");
  // The hint takes the size of its text (a longer tip is never cut), and the panel is 6 pixels
  // larger than the hint.
  const platform::TextExtent text = platform::estimate_text("停止");
  EXPECT_EQ(ba1.bo_tip.rect(), (Rect{3, 3, text.width, text.height}));
  EXPECT_EQ(ba1.p1.rect(),
            (Rect{100 + 12 - 20, ba1.scale_height() - 64, text.width + 6, text.height + 6}));
  EXPECT_TRUE(ba1.p1.visible());

  ba1.bo_but[1].raise_mouse_move({MouseButton::kNone, 0, 26, 3});
  EXPECT_EQ(cell_of(ba1.bo_but[1]), (std::pair<std::string, int>{"ppt(13)", 0}));
  EXPECT_FALSE(ba1.bo_but[1].has_capture());
  EXPECT_FALSE(ba1.p1.visible());
}

TEST_F(Transport, HoverOfTheShutdownButtonKeepsItsPicture) {
  BA1& ba1 = open_window();
  ba1.bo_but[6].move(0, 0, 25, 25);
  ba1.kaiqi_Click();
  ba1.bo_but[6].raise_mouse_move({MouseButton::kNone, 0, 3, 3});
  EXPECT_EQ(cell_of(ba1.bo_but[6]), (std::pair<std::string, int>{"ppt(17)", 0}));
  EXPECT_EQ(ba1.bo_tip.caption(), "已开启自动关机");
}

TEST(TransportCells, FollowTheButtonsState) {
  using playback::cells::Cell;
  using playback::cells::hover_cell;
  EXPECT_EQ(hover_cell(0, false, true, false), (Cell{12, 0, 50, 30}));
  EXPECT_EQ(hover_cell(0, false, true, true), (Cell{12, 50, 50, 30}));
  EXPECT_EQ(hover_cell(0, true, true, false), (Cell{12, 100, 50, 30}));
  EXPECT_EQ(hover_cell(0, true, true, true), (Cell{12, 150, 50, 30}));
  EXPECT_EQ(hover_cell(2, false, true, true), (Cell{14, 25}));
  EXPECT_EQ(hover_cell(2, false, false, false), (Cell{14, 50}));
  EXPECT_EQ(hover_cell(2, false, false, true), (Cell{14, 75}));
  EXPECT_EQ(hover_cell(3, false, true, false), (Cell{16, 50}));
  EXPECT_EQ(hover_cell(3, false, true, true), (Cell{17, 50}));
  EXPECT_EQ(hover_cell(7, false, true, true), (Cell{18, 75}));
  EXPECT_EQ(hover_cell(8, false, true, true), (Cell{17, 75}));
  EXPECT_EQ(hover_cell(6, false, true, true), std::nullopt);
}

TEST_F(Transport, KeysDoNothingWhileAServicePagePlays) {
  BA1& ba1 = open_loaded();
  ba1.session().mark_web_episode(playback::Episode::of("12-2-5-name"));
  ba1.Timer1.set_timer_enabled(false);
  player().calls.clear();
  for (int key : {32, 37, 38, 39, 40, 65}) ba1.raise_key_down(key, 0);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
}

TEST_F(Transport, ArrowKeysSeekTenSecondsWithinTheItem) {
  BA1& ba1 = open_sized();
  ba1.qvod.set_visible(true);
  player().position_s = 5;
  ba1.raise_key_down(37, 0);
  EXPECT_EQ(player().position_s, 0);
  EXPECT_EQ(ba1.gunt1.left(), 0);
  EXPECT_EQ(ba1.times.caption(), "00:00 / 01:40");
  EXPECT_TRUE(ba1.Timer1.timer_enabled());

  player().position_s = 95;
  ba1.raise_key_down(39, 0);
  EXPECT_EQ(player().calls.back(), "Position=98");
  EXPECT_EQ(ba1.times.caption(), "01:38 / 01:40");
  // The thumb shows where the seek landed, within the track.
  EXPECT_EQ(ba1.gunt1.left(), 382);  // 98 / 100 of 390

  player().calls.clear();
  player().position_s = 0;  // nothing played yet: no seek either way
  ba1.raise_key_down(39, 0);
  ba1.raise_key_down(37, 0);
  EXPECT_TRUE(player().calls.empty());
}

TEST_F(Transport, ArrowKeysDoNotDivideByAnUnknownLength) {
  BA1& ba1 = open_loaded();
  ba1.qvod.set_visible(true);
  player().duration_s = 0;
  player().position_s = 30;
  ba1.raise_key_down(37, 0);
  EXPECT_EQ(ba1.gunt1.left(), 0);
}

TEST_F(Transport, VolumeKeysStepByTenAndShowWhatThePlayerTook) {
  BA1& ba1 = open_sized();
  ba1.qvod.set_visible(true);
  player().volume_percent = 100;
  player().muted = true;
  ba1.raise_key_down(38, 0);
  EXPECT_EQ(player().calls.back(), "Volume=100");
  EXPECT_FALSE(player().muted);
  EXPECT_EQ(ba1.zhun.caption(), "音量：100%");
  EXPECT_EQ(ba1.bo_v.left(), 90);
  EXPECT_EQ(ba1.bo_y.width(), 90);
  ba1.raise_key_down(40, 0);
  ba1.raise_key_down(40, 0);
  EXPECT_EQ(ba1.zhun.caption(), "音量：80%");
  EXPECT_EQ(ba1.bo_v.left(), 72);
}

}  // namespace
}  // namespace pelmora::app
