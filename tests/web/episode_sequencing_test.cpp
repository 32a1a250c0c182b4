#include <string>
#include <vector>

#include "util/url_codec.h"
#include "web/web_fixture.h"

namespace pelmora::app {
namespace {

using Strings = std::vector<std::string>;

const std::string kNextAddress = "qvod://734003200|8F3A2C|第4集.rmvb|";
const std::string kRetryBalloon = "读取下一集数据出错，稍后将重新读取！";

class EpisodeSequencing : public pelmora::testing::WebTest {
 protected:
  // A window playing episode 3 of source 1 of programme 77, with automatic buffering as given.
  BA1& open_playing(const std::string& s_h = "2") {
    set_setting("S_q", "s_h", s_h);
    BA1& ba1 = open();
    ba1.Timer1.set_timer_enabled(false);
    ba1.cur_episode = "77-1-3-abc";
    return ba1;
  }
  Strings balloon_texts() const {
    Strings texts;
    for (const auto& balloon : headless.tray.balloons) texts.push_back(balloon.text);
    return texts;
  }
  static std::string prepared_link(const std::string& episode) {
    return "eeqvod://qvod&&&" + text::url_escape(kNextAddress) + "&&&abc&&&n4&&&77&&&1&&&" +
           episode;
  }
};

TEST_F(EpisodeSequencing, PreparesTheNextEpisodeAsAPlayerLinkWhateverKindTheServiceNames) {
  answer("id=77&v=1&v1=4", "n4$" + kNextAddress + "$flv");
  BA1& ba1 = open_playing();
  ba1.next_busy = 1;
  ba1.fetch_next();
  settle();
  EXPECT_EQ(queries(), Strings{"id=77&v=1&v1=4"});
  EXPECT_EQ(ba1.next_addr, kNextAddress);
  EXPECT_EQ(ba1.next_link, prepared_link("4"));
  EXPECT_EQ(ba1.next_busy, 0);
  EXPECT_FALSE(ba1.Timer4.timer_enabled());
  EXPECT_TRUE(player().calls.empty());
}

TEST_F(EpisodeSequencing, TheServiceSaysWhetherThereIsANextEpisodeOrNotYet) {
  answer("id=77&v=1&v1=4", "1");
  answer("id=78&v=1&v1=4", "0");
  BA1& ba1 = open_playing();
  ba1.fetch_next();
  settle();
  EXPECT_EQ(ba1.next_link, "1");
  EXPECT_EQ(ba1.next_addr, "1");
  ba1.cur_episode = "78-1-3-abc";
  ba1.fetch_next();
  settle();
  EXPECT_EQ(ba1.next_link, "0");
  EXPECT_EQ(ba1.next_addr, "0");
  EXPECT_TRUE(headless.tray.balloons.empty());
  EXPECT_FALSE(ba1.Timer4.timer_enabled());
}

TEST_F(EpisodeSequencing, NothingIsFetchedWithoutAutomaticBufferingOrANetworkEpisode) {
  BA1& ba1 = open_playing("1");
  ba1.next_link = "3";
  ba1.fetch_next();
  settle();
  EXPECT_EQ(ba1.next_link, "0");

  set_setting("S_q", "s_h", "2");
  ba1.cur_episode = "0";  // a local file plays
  ba1.next_link = "3";
  ba1.fetch_next();
  settle();
  ba1.step_episode(1);
  settle();
  ba1.step_episode(2);
  settle();
  EXPECT_EQ(ba1.next_link, "3");
  EXPECT_TRUE(queries().empty());
  EXPECT_TRUE(player().calls.empty());
}

TEST_F(EpisodeSequencing, AFailedFetchShowsTheBalloonAndArmsTheRetry) {
  answer("id=1&v=1&v1=4", "");
  answer("id=2&v=1&v1=4", "garbage");
  answer("id=3&v=1&v1=4", Reply{500, "n4$A$qvod"});
  set_setting("S_q", "s_pao", "1");  // balloons off: this one is shown regardless
  BA1& ba1 = open_playing();
  for (const std::string id : {"1", "2", "3"}) {
    ba1.cur_episode = id + "-1-3-abc";
    ba1.next_link = "0";
    ba1.next_addr = "x";
    ba1.next_busy = 0;
    ba1.retry_ticks = 1;
    ba1.Timer4.set_timer_enabled(false);
    ba1.fetch_next();
    settle();
    EXPECT_EQ(ba1.next_link, "3") << id;
    EXPECT_EQ(ba1.next_addr, "0") << id;
    EXPECT_EQ(ba1.next_busy, 1) << id;
    EXPECT_EQ(ba1.retry_ticks, 0) << id;
    EXPECT_TRUE(ba1.Timer4.timer_enabled()) << id;
  }
  EXPECT_EQ(balloon_texts(), Strings(3, kRetryBalloon));
  EXPECT_EQ(headless.tray.balloons[0].title, "Pelmora提示:");
}

TEST_F(EpisodeSequencing, AHungServiceIsAFailedFetchAfterTheTimeOut) {
  answer("id=77&v=1&v1=4", Reply{200, "n4$A$qvod", "text/plain", 5000});
  BA1& ba1 = open_playing();
  ba1.fetch_next();
  settle();
  EXPECT_EQ(ba1.next_link, "3");
  EXPECT_EQ(balloon_texts(), Strings{kRetryBalloon});
  EXPECT_TRUE(ba1.Timer4.timer_enabled());
}

TEST_F(EpisodeSequencing, TheRetryFetchesAgainOneHundredSecondsAfterTheFailure) {
  answer("id=77&v=1&v1=4", "garbage");
  BA1& ba1 = open_playing();
  ba1.fetch_next();
  settle();
  ASSERT_EQ(queries().size(), 1u);

  answer("id=77&v=1&v1=4", "n4$" + kNextAddress + "$qvod");
  headless.backend.advance(50000);
  EXPECT_EQ(queries().size(), 1u);
  EXPECT_EQ(ba1.retry_ticks, 1);
  EXPECT_EQ(ba1.next_busy, 1);
  headless.backend.advance(50000);
  settle();
  EXPECT_EQ(queries(), (Strings{"id=77&v=1&v1=4", "id=77&v=1&v1=4"}));
  EXPECT_EQ(ba1.next_link, prepared_link("4"));
  EXPECT_EQ(ba1.next_addr, kNextAddress);
  EXPECT_EQ(ba1.next_busy, 0);
  EXPECT_EQ(ba1.retry_ticks, 0);
  EXPECT_FALSE(ba1.Timer4.timer_enabled());
  EXPECT_EQ(balloon_texts().size(), 1u);
}

TEST_F(EpisodeSequencing, ARetryThatFailsAgainArmsTheNextRetry) {
  answer("id=77&v=1&v1=4", "");
  BA1& ba1 = open_playing();
  ba1.fetch_next();
  settle();
  headless.backend.advance(100000);
  settle();
  EXPECT_EQ(queries().size(), 2u);
  EXPECT_EQ(ba1.next_link, "3");
  EXPECT_EQ(ba1.next_busy, 0);  // the retry clears it after its own fetch
  EXPECT_TRUE(ba1.Timer4.timer_enabled());
  EXPECT_EQ(balloon_texts(), Strings(2, kRetryBalloon));
}

TEST_F(EpisodeSequencing, StepPlaysThePreviousOrNextEpisodeWithTheKindTheServiceNames) {
  answer("id=77&v=1&v1=2", "n2$http://v/2.flv$flv");
  answer("id=77&v=1&v1=4", "n4$" + kNextAddress + "$qvod");
  BA1& ba1 = open_playing();
  ba1.step_episode(1);
  settle();
  EXPECT_EQ(ba1.web_play, 1);
  EXPECT_EQ(last_address(ba1.Web2),
            base() + "play.htm?flv$$$" + text::url_escape("http://v/2.flv"));
  EXPECT_EQ(ba1.cur_episode, "77-1-2-abc");

  ba1.cur_episode = "77-1-3-abc";
  ba1.step_episode(2);
  settle();
  EXPECT_EQ(queries(), (Strings{"id=77&v=1&v1=2", "id=77&v=1&v1=4"}));
  EXPECT_EQ(player().calls, (Strings{"MediaAddress=" + kNextAddress, "Play"}));
  EXPECT_EQ(ba1.cur_episode, "77-1-4-abc");
  EXPECT_EQ(ba1.web_play, 0);
}

TEST_F(EpisodeSequencing, StepBackStopsAtEpisodeZeroAndUnusableRepliesChangeNothing) {
  answer("id=77&v=1&v1=0", "garbage");
  answer("id=77&v=1&v1=4", "0");
  answer("id=77&v=1&v1=6", "");
  BA1& ba1 = open_playing();
  ba1.cur_episode = "77-1-0-abc";
  ba1.step_episode(1);
  settle();
  EXPECT_TRUE(queries().empty());

  ba1.cur_episode = "77-1-1-abc";
  ba1.step_episode(1);
  settle();
  ba1.cur_episode = "77-1-3-abc";
  ba1.step_episode(2);
  settle();
  ba1.cur_episode = "77-1-4-abc";
  ba1.step_episode(5);  // any direction but 1 is forwards
  settle();
  ba1.cur_episode = "77-1-5-abc";
  ba1.step_episode(2);
  settle();
  EXPECT_EQ(queries(),
            (Strings{"id=77&v=1&v1=0", "id=77&v=1&v1=4", "id=77&v=1&v1=5", "id=77&v=1&v1=6"}));
  EXPECT_TRUE(player().calls.empty());
  EXPECT_TRUE(headless.tray.balloons.empty());
  EXPECT_EQ(ba1.cur_episode, "77-1-5-abc");
  EXPECT_TRUE(ba1.Web2.requests().empty());
}

}  // namespace
}  // namespace pelmora::app
