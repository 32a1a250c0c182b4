// The whole road of one episode, from a click in the catalogue to the next episode and back
// through the history list, against the demo service over real HTTP. The player's episodes are
// the download engine's addresses; the player's readings stand in for the engine's.
#include "demo_service.h"
#include "playback/session.h"
#include "support/main_window_fixture.h"
#include "torrent_maker.h"
#include "util/url_codec.h"

namespace pelmora::app {
namespace {

using platform::PlayState;

class EpisodeRoad : public pelmora::testing::MainWindowTest {
 protected:
  EpisodeRoad() {
    demo.start();
    const std::string base = demo.base_url();
    config = Configuration::load(folder.path(), [base](const char* name) -> const char* {
      static std::string value;
      value = base;
      return std::string_view(name) == "PELMORA_SERVICE_URL" ? value.c_str() : nullptr;
    });
  }
  // One second of playback as the player reports it.
  void play_second(int position, int duration, int permille) {
    player().state = PlayState::kPlaying;
    player().position_s = position;
    player().duration_s = duration;
    player().permille = permille;
    headless.backend.advance(1000);
  }
  // The engine address the service gives for the clip of episode `episode` of programme 101.
  std::string clip(int episode) {
    const std::string name = "p101-s1-e0" + std::to_string(episode) + ".mp4";
    const auto torrent = torrent::make_torrent(media.file(name), name);
    if (!torrent) return "<no clip>";
    return "qvod://" + std::to_string(torrent->size) + "|" + torrent->info_hash + "|" + name + "|";
  }
  // Stand-in clips: an engine address names any bytes by the torrent made of them.
  static service::ServiceOptions with_clips(const pelmora::testing::TempFolder& media) {
    for (int episode = 1; episode <= 3; ++episode) {
      media.write("p101-s1-e0" + std::to_string(episode) + ".mp4",
                  std::string(300000 * episode, static_cast<char>('a' + episode)));
    }
    service::ServiceOptions options;
    options.media_folder = media.path();
    return options;
  }

  pelmora::testing::TempFolder media;
  service::DemoService demo{with_clips(media)};
  const std::string name = text::url_escape("山海之间");
};

TEST_F(EpisodeRoad, FromAClickToTheNextEpisodeAndBackThroughTheHistory) {
  set_setting("S_q", "qvodw", "/home/u/Qvod/");
  BA1& ba1 = open_window();
  lay_out(ba1);
  ba1.show();

  // 1. The click on episode 1 in the catalogue: cancelled, searched, the engine's terminal
  // started from its folder, played, recorded.
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://101-1-1-" + name + "/"));
  settle();
  EXPECT_EQ(clip(1).substr(0, 14), "qvod://300000|");
  EXPECT_EQ(player().address, clip(1));
  ASSERT_FALSE(headless.launcher.starts.empty());
  EXPECT_EQ(headless.launcher.starts.back().path, "/home/u/Qvod/QvodTerminal.exe");
  EXPECT_EQ(player().calls.back(), "Play");
  EXPECT_EQ(ba1.bo_name.caption(), "山海之间-第1集");
  EXPECT_EQ(playing_episode(ba1), "101-1-1-" + name);
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_EQ(ba1.Web5.last_request()->text, demo.base_url() + "pp.htm?101-1-1-" + name + "-0");
  EXPECT_EQ(folder.read("date.dat"), "101|" + name + "|" + text::url_escape("第1集") + "|" +
                                         text::url_escape(clip(1)) + "|1|1|0\r\n\r\n");
  EXPECT_NE(folder.read("c.htm").find(">山海之间</a>"), std::string::npos);
  EXPECT_EQ(ba1.chrome.cur_side_tab, 11);  // the episode list is on view
  EXPECT_EQ(ba1.chrome.cur_tab, 9);

  // 2. The status monitor: the status line, the time, then the next episode past 601‰.
  play_second(5, 25, 300);
  EXPECT_EQ(ba1.times.caption(), "00:05 / 00:25");
  EXPECT_NE(ba1.zhun.caption().find("播放中"), std::string::npos);
  EXPECT_EQ(ba1.bo_but[0].tool_tip(), "暂停");
  play_second(9, 25, 601);  // exactly 601 thousandths: not yet
  settle();
  EXPECT_TRUE(demo.seen().resource_requests.size() == 1);
  play_second(10, 25, 602);
  settle();
  EXPECT_EQ(ba1.session().next().address, clip(2));
  EXPECT_EQ(ba1.session().next().play_link, "eeqvod://qvod&&&" + text::url_escape(clip(2)) + "&&&" +
                                                name + "&&&" + text::url_escape("第2集") +
                                                "&&&101&&&1&&&2");
  play_second(11, 25, 720);
  EXPECT_EQ(player().prepared, std::vector<std::string>{clip(2)});
  ASSERT_FALSE(headless.tray.balloons.empty());
  EXPECT_EQ(headless.tray.balloons.back().text, "开始缓冲下一集！");
  play_second(12, 25, 800);
  EXPECT_EQ(player().prepared.size(), 1u);  // handed over once

  // 3. The player's end of the item starts the end of playback; two seconds on, the next
  // episode plays.
  play_second(24, 25, 1000);
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  player().reach_end();
  EXPECT_TRUE(ba1.Timer2.timer_enabled());
  EXPECT_EQ(headless.tray.balloons.back().text, "正在准备播放下一集！");
  headless.backend.advance(2000);
  EXPECT_EQ(player().address, clip(2));
  EXPECT_EQ(playing_episode(ba1), "101-1-2-" + name);
  EXPECT_EQ(ba1.bo_name.caption(), "山海之间-第2集");
  EXPECT_EQ(folder.read("date.dat"), "101|" + name + "|" + text::url_escape("第2集") + "|" +
                                         text::url_escape(clip(2)) + "|1|2|0\r\n\r\n");

  // 4. Stop saves where the episode was.
  play_second(12, 25, 1000);
  click_on(ba1, ba1.bo_but[1]);
  EXPECT_EQ(folder.read("date.dat"), "101|" + name + "|" + text::url_escape("第2集") + "|" +
                                         text::url_escape(clip(2)) + "|1|2|12\r\n");

  // 5. The history page plays it again from 12 s: the player is given the place with the item.
  click_on(ba1, ba1.npc[12]);
  player().calls.clear();
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1"));
  EXPECT_EQ(player().address, clip(2));
  EXPECT_EQ(ba1.session().resume_position(), 12);
  EXPECT_NE(std::find(player().calls.begin(), player().calls.end(), "Play@12"),
            player().calls.end());

  // 6. The service saw the two episodes' resource requests and the start's statistics ping.
  const auto seen = demo.seen();
  ASSERT_GE(seen.resource_requests.size(), 2u);
  EXPECT_EQ(seen.resource_requests[0].query, "id=101&v=1&v1=1");
  EXPECT_EQ(seen.resource_requests[1].query, "id=101&v=1&v1=2");
}

TEST_F(EpisodeRoad, AFailingServiceIsReportedAndNothingPlays) {
  BA1& ba1 = open_window();
  demo.set_failure(service::ReplyFailure::server_error);
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://101-1-1-" + name));
  settle();
  EXPECT_EQ(ba1.zhun.caption(), "读取数据出错，请重试");
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_TRUE(player().address.empty());
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
}

}  // namespace
}  // namespace pelmora::app
