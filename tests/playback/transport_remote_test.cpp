#include "playback/transport_remote.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "playback/session.h"
#include "support/main_window_fixture.h"

namespace pelmora::playback {
namespace {

using platform::MediaState;
using platform::PlaybackStatus;
using platform::PlayState;

class RecordingInhibitor final : public platform::IdleInhibitor {
 public:
  void set_held(bool held) override {
    if (held != held_) changes.push_back(held ? "hold" : "release");
    held_ = held;
  }
  bool held() const override { return held_; }
  std::vector<std::string> changes;

 private:
  bool held_ = false;
};

class Remote : public pelmora::testing::MainWindowTest {
 protected:
  app::BA1& open_with_clip() {
    app::BA1& ba1 = open_window();
    ba1.gunt.move(0, 0, 400, 8);
    ba1.gunt1.move(0, 0, 10, 8);
    ba1.yin.move(0, 0, 100, 8);
    ba1.bo_v.move(0, 0, 10, 8);
    ba1.l_com(clip);
    ba1.Pic2.set_visible(false);
    player().duration_s = 100;
    player().position_s = 40;
    tick();
    return ba1;
  }
  void tick() { headless.backend.advance(1000); }
  int count(const std::string& call) {
    return static_cast<int>(std::count(player().calls.begin(), player().calls.end(), call));
  }
  std::string clip = folder.file("film one.mp4");
};

TEST_F(Remote, StateFollowsThePlayerAndTheTitleTheWindowShows) {
  app::BA1& ba1 = open_window();
  TransportRemote remote(ba1);
  MediaState nothing;
  nothing.volume = 50;
  EXPECT_EQ(remote.state(), nothing);

  ba1.l_com(clip);
  MediaState state = remote.state();
  EXPECT_EQ(state.status, PlaybackStatus::kPlaying);
  EXPECT_EQ(state.title, "film one.mp4");
  EXPECT_EQ(state.title, ba1.bo_name.caption());
  EXPECT_TRUE(state.can_play && state.can_pause);
  EXPECT_FALSE(state.can_seek);  // the length is not known yet
  const auto first = state.item;
  EXPECT_NE(first, 0);
  player().duration_s = 100;
  EXPECT_EQ(remote.state().item, first);
  EXPECT_EQ(remote.state().length, 100);
  EXPECT_TRUE(remote.state().can_seek);

  // What the desktop calls playing: also buffering and connecting; paused; stopped or ended.
  const std::vector<std::pair<PlayState, PlaybackStatus>> table = {
      {PlayState::kBuffering, PlaybackStatus::kPlaying},
      {PlayState::kConnecting, PlaybackStatus::kPlaying},
      {PlayState::kPaused, PlaybackStatus::kPaused},
      {PlayState::kEnded, PlaybackStatus::kStopped},
      {PlayState::kReady, PlaybackStatus::kStopped},
      {PlayState::kStopped, PlaybackStatus::kStopped}};
  for (const auto& [code, status] : table) {
    player().state = code;
    EXPECT_EQ(remote.state().status, status) << static_cast<int>(code);
  }

  // Another file is another item; an item playing as a web page is not the player's.
  ba1.Form_LinkExecute(folder.file("film two.mkv"));
  EXPECT_NE(remote.state().item, first);
  ba1.session().mark_web_episode(playback::Episode::of("1-1-1-x"));
  EXPECT_EQ(remote.state().status, PlaybackStatus::kStopped);
  EXPECT_FALSE(remote.state().can_play);
}

TEST_F(Remote, PlayPauseAndStopAreTheTransportBarsOwnClicks) {
  app::BA1& ba1 = open_with_clip();
  TransportRemote remote(ba1);
  ASSERT_EQ(ba1.bo_but[0].tool_tip(), "暂停");
  remote.play();  // already playing: no second Play
  EXPECT_EQ(count("Play"), 1);

  remote.pause();
  EXPECT_EQ(count("Pause"), 1);
  EXPECT_EQ(ba1.zhun.caption(), "已暂停");
  remote.pause();
  EXPECT_EQ(count("Pause"), 1);
  EXPECT_EQ(remote.state().status, PlaybackStatus::kPaused);

  remote.play_pause();
  EXPECT_EQ(count("Play"), 2);
  tick();
  // Stop keeps the resume position in the local list, as the stop button does.
  player().position_s = 61;
  tick();
  remote.stop();
  EXPECT_NE(folder.read("date_f.dat").find("film one.mp4|" + clip + "|61"), std::string::npos);
  EXPECT_EQ(ba1.zhun.caption(), "已停止");
  EXPECT_EQ(remote.state().status, PlaybackStatus::kStopped);
  // And playing again resumes there: the player is given the place with the item.
  remote.play();
  EXPECT_EQ(player().calls.back(), "Play@61");
}

TEST_F(Remote, PauseWorksBeforeTheStatusMonitorHasSeenTheItemPlay) {
  app::BA1& ba1 = open_window();
  TransportRemote remote(ba1);
  ba1.l_com(clip);  // playing at once; the monitor's tick has not come yet
  ASSERT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  remote.pause();
  EXPECT_EQ(count("Pause"), 1);
  EXPECT_EQ(remote.state().status, PlaybackStatus::kPaused);
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "播放");
  remote.play_pause();
  EXPECT_EQ(count("Play"), 2);
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "暂停");
}

TEST_F(Remote, NothingActsWithoutAnItem) {
  app::BA1& ba1 = open_window();
  TransportRemote remote(ba1);
  const auto calls = player().calls;
  remote.play_pause();
  remote.play();
  remote.stop();
  remote.next();
  remote.previous();
  remote.seek_to(30);
  EXPECT_EQ(player().calls, calls);
  EXPECT_EQ(remote.position(), 0);
}

TEST_F(Remote, EpisodeStepsFollowTheEpisodeThatPlays) {
  app::BA1& ba1 = open_with_clip();
  TransportRemote remote(ba1);
  EXPECT_FALSE(remote.state().can_go_next);  // a local file has no episodes
  const std::string clip = player().address;
  play_network_episode(ba1, "12-2-0-name", "12", clip);
  EXPECT_TRUE(remote.state().can_go_next);
  EXPECT_FALSE(remote.state().can_go_previous);  // there is none before episode 0
  play_network_episode(ba1, "12-2-3-name", "12", clip);
  EXPECT_TRUE(remote.state().can_go_previous);
  play_network_episode(ba1, "12-2-x-name", "12", clip);
  EXPECT_FALSE(remote.state().can_go_next);
  play_network_episode(ba1, "12-2-3-name", "12", clip);
  ba1.bo_but[7].set_enabled(false);  // while the button works on a step
  EXPECT_FALSE(remote.state().can_go_next);
}

TEST_F(Remote, SeekingAndVolumeMoveTheBarsAsThePointerWould) {
  app::BA1& ba1 = open_with_clip();
  TransportRemote remote(ba1);
  remote.seek_to(-5);
  EXPECT_EQ(player().position_s, 0);
  remote.seek_to(500);  // past the end: two seconds before it
  EXPECT_EQ(player().position_s, 98);
  EXPECT_EQ(remote.position(), 98);
  EXPECT_EQ(ba1.gunt1.left(), 382);
  EXPECT_EQ(ba1.times.caption().find("01:38"), 0U) << ba1.times.caption();

  ba1.bo_but_Click(2);  // muted
  remote.set_volume(150);
  EXPECT_EQ(player().volume_percent, 100);
  EXPECT_FALSE(player().muted);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "静音");
  EXPECT_EQ(ba1.bo_v.left(), 90);
  EXPECT_EQ(ba1.bo_y.width(), 90);
  EXPECT_EQ(ba1.zhun.caption(), "音量：100%");
  remote.set_volume(30);
  EXPECT_EQ(remote.state().volume, 30);
  EXPECT_EQ(ba1.bo_v.left(), 27);
}

TEST_F(Remote, OpenHandsTheAddressOverAsALaterStartWould) {
  app::BA1& ba1 = open_with_clip();
  TransportRemote remote(ba1);
  player().position_s = 44;
  tick();
  const std::string other = folder.file("film two.mkv");
  remote.open(other);
  EXPECT_EQ(player().address, other);
  EXPECT_EQ(ba1.bo_name.caption(), "film two.mkv");
  // The item before kept its place to resume at.
  EXPECT_NE(folder.read("date_f.dat").find("film one.mp4|" + clip + "|44"), std::string::npos);
}

TEST_F(Remote, TheScreenStaysAwakeOnlyWhileAnItemPlays) {
  app::BA1& ba1 = open_window();
  TransportRemote remote(ba1);
  RecordingInhibitor inhibitor;
  std::vector<std::pair<PlaybackStatus, PlaybackStatus>> seen;
  MediaWatch watch(remote, inhibitor, [&](const MediaState& now, const MediaState& before) {
    seen.emplace_back(before.status, now.status);
  });
  watch.check();
  EXPECT_FALSE(inhibitor.held());
  ba1.l_com(clip);
  watch.check();
  EXPECT_TRUE(inhibitor.held());
  player().state = PlayState::kBuffering;
  watch.check();
  EXPECT_TRUE(inhibitor.held());
  player().state = PlayState::kPlaying;
  tick();
  remote.pause();
  watch.check();
  EXPECT_FALSE(inhibitor.held());
  remote.play();
  watch.check();
  player().state = PlayState::kEnded;
  watch.check();
  EXPECT_FALSE(inhibitor.held());
  player().state = PlayState::kPlaying;
  watch.check();
  remote.quit();  // the exit routine stops the item and unloads the window
  watch.check();
  EXPECT_FALSE(ba1.loaded());
  EXPECT_EQ(inhibitor.changes,
            (std::vector<std::string>{"hold", "release", "hold", "release", "hold", "release"}));
  // Every change of the status was told, in order.
  std::vector<PlaybackStatus> statuses;
  for (const auto& [before, now] : seen) {
    if (before != now) statuses.push_back(now);
  }
  EXPECT_EQ(statuses,
            (std::vector<PlaybackStatus>{PlaybackStatus::kPlaying, PlaybackStatus::kPaused,
                                         PlaybackStatus::kPlaying, PlaybackStatus::kStopped,
                                         PlaybackStatus::kPlaying, PlaybackStatus::kStopped}));
}

}  // namespace
}  // namespace pelmora::playback
