// The playback session on its own: a scripted player, the history lists in a temporary folder,
// the settings file, and a resource service on loopback; what it asks of the window recorded.
#include "playback/session.h"

#include "platform/form.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "app/settings_store.h"
#include "lists/list_files.h"
#include "platform/curl/curl_fetch.h"
#include "platform/headless/headless_platform.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "util/url_codec.h"

namespace pelmora::playback {
namespace {

using Strings = std::vector<std::string>;
using platform::PlayState;
using State = NextEpisode::State;
using Reply = pelmora::testing::LoopbackServer::Reply;

const std::string kNextAddress = "qvod://734003200|8F3A2C|第4集.rmvb|";
const std::string kRetryBalloon = "读取下一集数据出错，稍后将重新读取！";

// What the session asked of the window.
struct RecordedHost final : SessionHost {
  Strings balloons, statuses, episode_lists, web_pages, titles, played_links;
  bool next_notice = false;
  Strings terminal_starts;
  int shutdowns = 0;
  bool armed = false;
  std::vector<bool> pictures;  // every show_picture, in order
  int refreshes = 0;
  int finished = 0;
  void balloon(const std::string& text) override { balloons.push_back(text); }
  void set_status(const std::string& text) override { statuses.push_back(text); }
  void show_next_notice() override { next_notice = true; }
  void show_episode_list(const std::string& url) override { episode_lists.push_back(url); }
  void show_web_player(const std::string& url) override { web_pages.push_back(url); }
  void set_title(const std::string& title) override { titles.push_back(title); }
  void start_terminal(bool read_settings) override {
    terminal_starts.push_back(read_settings ? "settings" : "known");
  }
  void shut_down() override { ++shutdowns; }
  bool shutdown_armed() const override { return armed; }
  void show_picture(bool picture) override { pictures.push_back(picture); }
  void refresh() override { ++refreshes; }
  void show_finished() override { ++finished; }
  void play_link(const std::string& link) override { played_links.push_back(link); }
};

// The window's timers the session runs on, driven by the headless backend's virtual clock.
struct TimerForm final : platform::Form {
  TimerForm() : Form("timers") {}
  platform::Timer monitor{this, "Timer1", 1000, false};
  platform::Timer end{this, "Timer2", 2000, false};
  platform::Timer retry{this, "Timer4", 50000, false};
  platform::Timer load_watch{this, "load_watch", 5000, false};
};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    service.on("/h.asp", [this](const std::string&, const std::string& query) {
      const std::lock_guard lock(mutex);
      queries.push_back(query);
      const auto found = replies.find(query);
      return found == replies.end() ? Reply{200, "1"} : found->second;
    });
    folder.write("date.dat", "\r\n");
    folder.write("date_f.dat", "\r\n");
    set_option("s_h", "2");
    set_option("s_bo", "2");
    set_option("s_pao", "2");
    headless.backend.attach(timers);
  }
  void set_option(std::string_view key, std::string_view value) {
    settings::write_ini(store.path(), "S_q", key, value);
  }
  void answer(const std::string& query, Reply reply) {
    const std::lock_guard lock(mutex);
    replies[query] = std::move(reply);
  }
  Strings asked() {
    const std::lock_guard lock(mutex);
    return queries;
  }
  // Runs the replies that arrived (or time out), as the window's event loop would.
  void settle() {
    headless.backend.run_posted();
    while (http.busy()) {
      ASSERT_TRUE(headless.backend.wait_for_posted(std::chrono::seconds(5)));
      headless.backend.run_posted();
    }
  }
  // Episode 3 of source 1 of programme 77 plays from the network list.
  void play_episode(const std::string& episode = "77-1-3-abc") {
    Start start;
    start.item = NetworkEpisode{Episode::of(episode), "77"};
    start.address = "qvod://1|AB|e3.rmvb|";
    session.start(std::move(start));
  }
  // A second of playback as the player reports it, and the monitor's tick.
  TransportView second(int position, int duration, int permille = 0,
                       PlayState state = PlayState::kPlaying) {
    player.state = state;
    player.position_s = position;
    player.duration_s = duration;
    player.permille = permille;
    return session.tick();
  }
  static std::string prepared_link(const std::string& episode) {
    return "eeqvod://qvod&&&" + text::url_escape(kNextAddress) + "&&&abc&&&n4&&&77&&&1&&&" +
           episode;
  }

  pelmora::testing::TempFolder folder;
  pelmora::testing::LoopbackServer service;
  headless::HeadlessPlatform headless;
  platform::CurlFetch http{
      [this](std::function<void()> task) { headless.backend.post(std::move(task)); }, 1000, 1500};
  std::unique_ptr<headless::ScriptedPlayer> made = std::make_unique<headless::ScriptedPlayer>();
  headless::ScriptedPlayer& player = *made;
  settings::Store store{settings::settings_path(folder.path())};
  RecordedHost host;
  TimerForm timers;
  Session session{std::move(made),
                  http,
                  lists::ListPlace{folder.path(), nullptr},
                  store,
                  service.base_url(),
                  host,
                  SessionTimers{timers.monitor, timers.end, timers.retry, timers.load_watch}};
  std::mutex mutex;
  std::map<std::string, Reply> replies;
  Strings queries;
};

TEST_F(SessionTest, EveryStartBeginsTheNextEpisodeAfreshAndForgetsTheSeriesBefore) {
  answer("id=77&v=1&v1=4", Reply{200, "n4$" + kNextAddress + "$flv"});
  play_episode();
  session.fetch_next();
  settle();
  // The prepared episode always plays in the player, whatever kind the service named.
  EXPECT_EQ(session.next().state, State::kReady);
  EXPECT_EQ(session.next().address, kNextAddress);
  EXPECT_EQ(session.next().play_link, prepared_link("4"));

  // A local file after the episode: nothing of the series follows it.
  Start file;
  file.item = LocalFile{"/media/a.mp4"};
  file.address = "/media/a.mp4";
  file.local_record = true;
  session.start(std::move(file));
  EXPECT_EQ(session.episode(), nullptr);
  EXPECT_EQ(session.next().state, State::kNotAsked);
  EXPECT_EQ(session.list_of_current(), lists::kLocalList);
  EXPECT_EQ(player.calls, (Strings{"MediaAddress=qvod://1|AB|e3.rmvb|", "Play",
                                   "MediaAddress=/media/a.mp4", "Play"}));
  EXPECT_EQ(session.end_of_item(), std::nullopt);
  EXPECT_TRUE(host.episode_lists.empty());
  EXPECT_EQ(folder.read("date_f.dat"), "a.mp4|/media/a.mp4|0\r\n\r\n");
}

TEST_F(SessionTest, TheServiceSaysWhetherThereIsANextEpisodeOrNotYetOrFails) {
  answer("id=77&v=1&v1=4", Reply{200, "1"});
  answer("id=78&v=1&v1=4", Reply{200, "0"});
  answer("id=79&v=1&v1=4", Reply{200, "garbage"});
  answer("id=80&v=1&v1=4", Reply{200, "n4$A$qvod", "text/plain", 5000});  // hung: times out
  const std::pair<std::string, State> cases[] = {{"77", State::kNone},
                                                 {"78", State::kNotAsked},
                                                 {"79", State::kFailed},
                                                 {"80", State::kFailed}};
  for (const auto& [id, state] : cases) {
    play_episode(id + "-1-3-abc");
    session.fetch_next();
    settle();
    EXPECT_EQ(session.next().state, state) << id;
  }
  EXPECT_EQ(host.balloons, Strings(2, kRetryBalloon));
  EXPECT_TRUE(timers.retry.timer_enabled());
}

TEST_F(SessionTest, AFailedFetchIsAskedAgainAfterTwoRetryTicks) {
  answer("id=77&v=1&v1=4", Reply{200, ""});
  play_episode();
  session.fetch_next();
  settle();
  ASSERT_EQ(session.next().state, State::kFailed);
  // While the retry waits, the monitor does not ask again.
  second(10, 100, 700);
  settle();
  EXPECT_EQ(asked().size(), 1u);

  answer("id=77&v=1&v1=4", Reply{200, "n4$" + kNextAddress + "$qvod"});
  session.retry_tick();
  EXPECT_EQ(asked().size(), 1u);
  session.retry_tick();
  settle();
  EXPECT_EQ(asked().size(), 2u);
  EXPECT_FALSE(timers.retry.timer_enabled());
  EXPECT_EQ(session.next().state, State::kReady);
  EXPECT_FALSE(session.next().retry_waiting);
}

TEST_F(SessionTest, PastSixHundredOneThousandthsTheNextEpisodeIsAskedForThenBuffered) {
  answer("id=77&v=1&v1=4", Reply{200, "n4$" + kNextAddress + "$qvod"});
  play_episode();
  second(10, 100, 601);
  settle();
  EXPECT_TRUE(asked().empty());
  second(11, 100, 602);
  settle();
  EXPECT_EQ(session.next().state, State::kReady);
  second(12, 100, 610);
  EXPECT_EQ(session.next().state, State::kBuffering);
  EXPECT_EQ(player.prepared, Strings{kNextAddress});
  EXPECT_EQ(host.balloons, Strings{"开始缓冲下一集！"});
  second(13, 100, 620);
  EXPECT_EQ(player.prepared.size(), 1u);
  // Without buffering ahead nothing is asked.
  set_option("s_h", "1");
  play_episode();
  second(10, 100, 700);
  settle();
  EXPECT_EQ(asked().size(), 1u);
}

TEST_F(SessionTest, TheEndOfAnItemPlaysThePreparedEpisodeOrLetsTheListPageOpenIt) {
  answer("id=77&v=1&v1=4", Reply{200, "n4$" + kNextAddress + "$qvod"});
  play_episode();
  session.fetch_next();
  settle();
  EXPECT_EQ(session.end_step(false), prepared_link("4"));
  EXPECT_TRUE(host.next_notice);
  EXPECT_EQ(session.last_position(), 1);

  // Without a prepared episode the episode list page opens the following one.
  play_episode();
  EXPECT_EQ(session.end_of_item(), std::nullopt);
  EXPECT_EQ(host.episode_lists, Strings{service.base_url() + "pp.htm?77-1-3-abc-14"});

  // Automatic playing off: the monitor runs on, nothing follows.
  set_option("s_bo", "1");
  timers.monitor.set_timer_enabled(false);
  EXPECT_EQ(session.end_of_item(), std::nullopt);
  EXPECT_TRUE(timers.monitor.timer_enabled());

  // Armed shutdown wins over everything.
  EXPECT_EQ(session.end_step(true), std::nullopt);
  EXPECT_EQ(host.shutdowns, 1);
}

// The end step follows the player's end of the item, never a reading of its last two seconds;
// a seek back (also within the two seconds after the end) calls it off, and the item plays on.
TEST_F(SessionTest, TheEndStepFollowsThePlayersEndAndASeekCallsItOff) {
  answer("id=77&v=1&v1=4", Reply{200, "n4$" + kNextAddress + "$qvod"});
  play_episode();
  player.show_first_frame(0, 24);
  session.fetch_next();
  settle();
  second(23, 24);
  EXPECT_FALSE(timers.end.timer_enabled());
  session.seek(1);
  headless.backend.advance(3000);
  EXPECT_EQ(host.finished, 0);

  player.reach_end();
  EXPECT_TRUE(timers.end.timer_enabled());
  EXPECT_EQ(host.balloons, Strings{"正在准备播放下一集！"});
  headless.backend.advance(1000);
  session.seek(3);  // the user seeks back within the end step's two seconds
  headless.backend.advance(3000);
  EXPECT_EQ(host.finished, 0);
  EXPECT_TRUE(host.played_links.empty());

  player.reach_end();
  headless.backend.advance(2000);
  EXPECT_EQ(host.finished, 1);
  EXPECT_EQ(host.played_links, Strings{prepared_link("4")});
}

// An item starts at its resume point in the player's load, so the first picture shown is the
// resume point's; the picture replaces the advert panel at the first frame, not at a tick.
TEST_F(SessionTest, TheResumePointGoesWithTheLoadAndThePictureComesWithTheFirstFrame) {
  Start start;
  start.item = LocalFile{"/films/a.mp4"};
  start.address = "/films/a.mp4";
  start.resume = 42;
  session.start(std::move(start));
  EXPECT_EQ(player.calls, (Strings{"MediaAddress=/films/a.mp4", "Play@42"}));
  EXPECT_EQ(host.pictures, std::vector<bool>{false});
  player.show_first_frame(42, 100);
  EXPECT_EQ(host.pictures, (std::vector<bool>{false, true}));
  EXPECT_GE(host.refreshes, 1);
  EXPECT_EQ(second(43, 100).position, 43);
  // No seek follows the start: the item never jumps back to where it resumed.
  for (const std::string& call : player.calls) EXPECT_FALSE(call.starts_with("Position=")) << call;
  player.fail(platform::PlayFailure::kBrokenFile);
  EXPECT_EQ(host.pictures.back(), false);
}

// An item the player has not begun some seconds after its start is given up and said so; an
// engine item has longer (the engine answers within its own time-outs), and one the player
// began is never given up.
TEST_F(SessionTest, AnItemThePlayerNeverBeginsIsGivenUpAndSaidSo) {
  Start start;
  start.item = LocalFile{"/films/a.mp4"};
  start.address = "/films/a.mp4";
  session.start(std::move(start));
  headless.backend.advance(4900);
  EXPECT_EQ(player.calls.back(), "Play");
  headless.backend.advance(200);
  EXPECT_EQ(player.calls.back(), "Stop");
  EXPECT_EQ(host.statuses.back(), "播放失败：播放器没有开始播放，请重试");
  EXPECT_FALSE(timers.monitor.timer_enabled());
  // Play starts it afresh.
  EXPECT_EQ(session.toggle_pause(), Toggle::kPlays);

  play_episode();
  headless.backend.advance(15000);
  player.report(platform::PlayerEvent::kOpening);
  headless.backend.advance(60000);
  EXPECT_NE(player.calls.back(), "Stop");
}

// A look-up of another programme that finds nothing leaves what follows the playing item alone.
TEST_F(SessionTest, AFailedLookUpOfAnotherProgrammeLeavesTheNextEpisodeAlone) {
  set_option("s_h", "1");
  play_episode();
  session.search(web::EpisodeKey::parse("88-1-1-zzz"), [](const std::string&) {});
  settle();
  EXPECT_EQ(host.statuses.back(), "读取数据出错，请重试");
  EXPECT_EQ(session.next().state, State::kNotAsked);
  set_option("s_h", "2");
  second(10, 100, 700);
  settle();
  EXPECT_EQ(asked().back(), "id=77&v=1&v1=4");
}

TEST_F(SessionTest, StopSavesThePositionUnderTheItemsOwnList) {
  lists::add_task(lists::ListPlace{folder.path(), nullptr}, 77, "abc", "n3", "qvod%3A//a", 1, 3, 0);
  play_episode();
  second(640, 1000);
  session.stop();
  EXPECT_EQ(player.calls.back(), "Stop");
  EXPECT_NE(folder.read("date.dat").find("|640\r\n"), std::string::npos);
  EXPECT_FALSE(timers.monitor.timer_enabled());
  // A web-kind episode saves nothing.
  Start page;
  page.item = WebEpisode{Episode::of("77-1-3-abc")};
  page.web_page = service.base_url() + "play.htm?flv$$$x";
  session.start(std::move(page));
  second(700, 1000);
  session.stop();
  EXPECT_NE(folder.read("date.dat").find("|640\r\n"), std::string::npos);
  EXPECT_EQ(host.web_pages.size(), 1u);
}

TEST_F(SessionTest, StepsGoToThePreviousOrNextEpisodeAndNeverBeforeEpisodeZero) {
  answer("id=77&v=1&v1=2", Reply{200, "n2$http://v/2.flv$flv"});
  Strings found;
  const auto record = [&found](const std::string& link) { found.push_back(link); };
  play_episode("77-1-0-abc");
  EXPECT_FALSE(session.can_step(true));
  session.step(true, record, {});
  play_episode();
  session.step(true, record, {});
  settle();
  session.step(false, record, {});  // episode 4 answers "1": nothing plays
  settle();
  EXPECT_EQ(asked(), (Strings{"id=77&v=1&v1=2", "id=77&v=1&v1=4"}));
  EXPECT_EQ(found, Strings{"eeqvod://flv&&&" + text::url_escape("http://v/2.flv") +
                           "&&&abc&&&n2&&&77&&&1&&&2"});
}

}  // namespace
}  // namespace pelmora::playback
