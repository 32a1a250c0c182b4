// A slow, dripping or late resource service: the window's handlers return at once, the rest of
// each action follows its reply in order, a newer action of a kind drops the older one's reply,
// and nothing is asked twice while a reply is on its way.
#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "playback/session.h"
#include "util/url_codec.h"
#include "web/web_fixture.h"

namespace pelmora::app {
namespace {

using namespace std::chrono_literals;
using platform::PlayState;
using Strings = std::vector<std::string>;
using SteadyClock = std::chrono::steady_clock;
using Reply = pelmora::testing::LoopbackServer::Reply;

const std::string kFirst = "qvod://100|AAA|e1.rmvb|";
const std::string kSecond = "qvod://200|BBB|e2.rmvb|";

Reply late(const std::string& body, int delay_ms) {
  Reply reply{200, body};
  reply.delay_ms = delay_ms;
  return reply;
}

class SlowService : public pelmora::testing::WebTest {
 protected:
  // The player's addresses in the order the window asked for them.
  Strings addresses() {
    Strings result;
    for (const std::string& call : player().calls) {
      if (call.starts_with("MediaAddress=")) result.push_back(call.substr(13));
    }
    return result;
  }
  // A window playing episode 3 of programme 77 past the mark where the next one is fetched.
  BA1& open_playing_past_the_mark() {
    set_setting("S_q", "s_h", "2");
    set_setting("S_q", "s_pao", "1");
    BA1& ba1 = open();
    ba1.Timer5.set_timer_enabled(false);  // no update check in between
    ba1.Web1.navigate("eeqvod://qvod&&&" + text::url_escape(kFirst) + "&&&abc&&&n3&&&77&&&1&&&3");
    player().state = PlayState::kPlaying;
    player().duration_s = 600;
    player().position_s = 10;
    player().permille = 700;
    player().calls.clear();
    return ba1;
  }
  void tick() { headless.backend.advance(1000); }
};

TEST_F(SlowService, AClickShowsItsFirstStepsAtOnceAndTheRestWhenTheDrippingReplyEnds) {
  Reply drip{200, "n1$" + kFirst + "$qvod"};
  drip.drip_ms = 20;
  answer("id=77&v=1&v1=1", drip);
  BA1& ba1 = open();
  const auto start = SteadyClock::now();
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://77-1-1-abc/"));
  EXPECT_LT(SteadyClock::now() - start, 200ms);
  EXPECT_EQ(ba1.zhun.caption(), "正在搜索资源，请稍后");
  EXPECT_EQ(ba1.chrome.cur_tab, 9);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_EQ(folder.read("date.dat"), "\r\n");

  settle();
  EXPECT_EQ(addresses(), Strings{kFirst});
  EXPECT_EQ(player().calls.back(), "Play");
  EXPECT_EQ(playing_episode(ba1), "77-1-1-abc");
  EXPECT_EQ(folder.read("date.dat").substr(0, 10), "77|abc|n1|");
}

TEST_F(SlowService, ANewerEpisodeClickOrAnItemStartedMeanwhileDropsThePendingClick) {
  answer("id=1&v=1&v1=1", late("n1$" + kFirst + "$qvod", 400));
  answer("id=2&v=1&v1=1", "n2$" + kSecond + "$qvod");
  BA1& ba1 = open();
  // The slow first click is overtaken by the second: only the second plays.
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://1-1-1-abc"));
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://2-1-1-abc"));
  settle();
  // The first may have been cancelled before it left.
  const Strings asked = queries();
  EXPECT_NE(std::find(asked.begin(), asked.end(), "id=2&v=1&v1=1"), asked.end());
  EXPECT_EQ(addresses(), Strings{kSecond});
  EXPECT_EQ(playing_episode(ba1), "2-1-1-abc");

  // A slow click, then a history entry played at once: the late reply plays nothing over it.
  ASSERT_TRUE(ba1.Web1.raise_before_navigate2("razavov://1-1-1-abc"));
  ba1.npc_Click(12);  // the network list is on view
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1"));
  settle();
  EXPECT_EQ(addresses(), (Strings{kSecond, kSecond}));
  EXPECT_EQ(playing_episode(ba1), "2-1-1-abc");
}

TEST_F(SlowService, TheNextEpisodeIsAskedOnceWhileItsReplyIsOnItsWay) {
  answer("id=77&v=1&v1=4", late("0", 500));
  BA1& ba1 = open_playing_past_the_mark();
  for (int second = 0; second < 5; ++second) tick();
  settle();
  EXPECT_EQ(queries().size(), 1u);
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  // "Not yet": the next tick asks again, once.
  answer("id=77&v=1&v1=4", late("n4$" + kSecond + "$qvod", 300));
  tick();
  tick();
  settle();
  EXPECT_EQ(queries().size(), 2u);
  EXPECT_EQ(ba1.session().next().address, kSecond);
  tick();
  EXPECT_EQ(player().prepared, Strings{kSecond});
  EXPECT_EQ(queries().size(), 2u);
}

TEST_F(SlowService, ALateNextEpisodeReplyForTheItemBeforeIsDropped) {
  answer("id=77&v=1&v1=4", late("n4$" + kSecond + "$qvod", 400));
  BA1& ba1 = open_playing_past_the_mark();
  tick();
  ASSERT_TRUE(ba1.session().next_request_pending());
  // Another programme starts before the reply arrives.
  ba1.Web1.navigate("eeqvod://qvod&&&" + text::url_escape(kFirst) + "&&&xyz&&&n1&&&90&&&1&&&1");
  settle();
  EXPECT_EQ(playing_episode(ba1), "90-1-1-xyz");
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
}

TEST_F(SlowService, AStepButtonStaysDisabledUntilItsReplyOrAnotherStepOvertakesIt) {
  answer("id=77&v=1&v1=4", late("n4$" + kSecond + "$qvod", 400));
  answer("id=77&v=1&v1=2", "n2$" + kFirst + "$qvod");
  BA1& ba1 = open_playing_past_the_mark();
  ba1.Timer1.set_timer_enabled(false);
  ba1.bo_but[7].raise_click();
  EXPECT_FALSE(ba1.bo_but[7].enabled());
  ba1.bo_but[7].raise_click();  // a second press goes nowhere
  settle();
  EXPECT_TRUE(ba1.bo_but[7].enabled());
  EXPECT_EQ(queries(), Strings{"id=77&v=1&v1=4"});
  EXPECT_EQ(addresses(), Strings{kSecond});
  EXPECT_EQ(playing_episode(ba1), "77-1-4-abc");

  // Next is slow; previous, pressed meanwhile, wins and frees the next button at once.
  answer("id=77&v=1&v1=5", late("n5$" + kFirst + "$qvod", 400));
  answer("id=77&v=1&v1=3", "n3$" + kFirst + "$qvod");
  player().calls.clear();
  ba1.bo_but[7].raise_click();
  ba1.bo_but[5].raise_click();
  EXPECT_TRUE(ba1.bo_but[7].enabled());
  EXPECT_FALSE(ba1.bo_but[5].enabled());
  settle();
  EXPECT_TRUE(ba1.bo_but[5].enabled());
  EXPECT_EQ(addresses(), Strings{kFirst});
  EXPECT_EQ(playing_episode(ba1), "77-1-3-abc");
}

}  // namespace
}  // namespace pelmora::app
