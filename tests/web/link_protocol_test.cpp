#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "lists/list_pages.h"
#include "platform/files.h"
#include "playback/session.h"
#include "util/url_codec.h"
#include "web/web_fixture.h"

namespace pelmora::app {
namespace {

using platform::PaneRequest;
using Strings = std::vector<std::string>;

const std::string kAddress = "qvod://734003200|8F3A2C|第5集.rmvb|";
const std::string kOtherAddress = "qvod://52428800|77AB01|第2集.rmvb|";

// What the window asked the player to play, leaving out the other calls (stop and the like).
Strings played(const Strings& calls) {
  Strings result;
  for (const std::string& call : calls) {
    if (call.starts_with("MediaAddress=") || call.starts_with("Play")) result.push_back(call);
  }
  return result;
}

bool refreshed(const platform::WebBrowser& pane) {
  return pane.last_request() && pane.last_request()->kind == PaneRequest::Kind::kRefresh;
}

class LinkProtocol : public pelmora::testing::WebTest {
 protected:
  std::string first_line(std::string_view list) {
    const std::string content = folder.read(list);
    return content.substr(0, content.find("\r\n"));
  }
  // A network list of `count` records, line n holding identifier n.
  void write_network_list(int count) {
    std::string content;
    for (int n = 1; n <= count; ++n) {
      content += std::to_string(n) + "|name" + std::to_string(n) + "|l|qvod%3A//" +
                 std::to_string(n) + "|1|1|0\r\n";
    }
    folder.write("date.dat", content);
  }
};

TEST_F(LinkProtocol, SearchLinkFetchesTheResourceAndPlaysItThroughAPlayLink) {
  set_setting("S_q", "qvodw", folder.path() + "/engine/");
  answer("id=123&v=2&v1=5", "t5$" + kAddress + "$qvod");
  BA1& ba1 = open();
  ba1.Timer1.set_timer_enabled(false);
  Strings seen;
  const auto handler = ba1.Web1.on_before_navigate2;
  ba1.Web1.on_before_navigate2 = [&](const std::string& url, bool& cancel) {
    seen.push_back(url);
    handler(url, cancel);
  };

  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://123-2-5-abc/"));
  // The first steps come at once; the rest waits for the service's reply.
  EXPECT_EQ(ba1.zhun.caption(), "正在搜索资源，请稍后");
  EXPECT_EQ(ba1.chrome.cur_tab, 9);
  EXPECT_TRUE(player().calls.empty());
  settle();

  EXPECT_EQ(queries(), Strings{"id=123&v=2&v1=5"});
  const std::string link =
      "eeqvod://qvod&&&" + text::url_escape(kAddress) + "&&&abc&&&t5&&&123&&&2&&&5";
  // The found episode plays at once: the pane is not navigated to its play link.
  EXPECT_EQ(seen, (Strings{"razavov://123-2-5-abc/"}));
  EXPECT_TRUE(ba1.Web1.requests().empty());
  EXPECT_EQ(ba1.zhun.caption(), "正在搜索资源，请稍后");
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=" + kAddress, "Play"}));
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  ASSERT_EQ(headless.launcher.starts.size(), 1u);
  EXPECT_EQ(headless.launcher.starts[0].path, folder.path() + "/engine/QvodTerminal.exe");
  // Told what it ends with and the program's service.
  const std::vector<std::string>& args = headless.launcher.starts[0].args;
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0], "--end-with");
  EXPECT_EQ(args[2], "--service");
  EXPECT_EQ(args[3], base());

  EXPECT_EQ(ba1.session().resume_position(), 0);
  EXPECT_FALSE(ba1.plays_web_page());
  EXPECT_EQ(playing_episode(ba1), "123-2-5-abc");
  EXPECT_TRUE(ba1.plays_network_item());
  EXPECT_EQ(ba1.bo_name.caption(), "abc-t5");
  EXPECT_EQ(last_address(ba1.Web5), base() + "pp.htm?123-2-5-abc-0");

  EXPECT_EQ(first_line("date.dat"), "123|abc|t5|" + text::url_escape(kAddress) + "|2|5|0");
  EXPECT_EQ(last_address(ba1.Web3), folder.file("c.htm"));
  EXPECT_NE(folder.read("c.htm").find("open://1"), std::string::npos);
}

TEST_F(LinkProtocol, PlayLinkStartsTheEngineTerminalOnlyWhenItIsNotRunningAndItsFolderIsKnown) {
  const std::string link = "eeqvod://qvod&&&qvod%3A//1%7CH%7Ca%7C&&&n&&&l&&&1&&&2&&&3";
  BA1& ba1 = open();
  // No folder learned and none in the settings: nothing to start.
  ba1.Web1.navigate(link);
  EXPECT_TRUE(headless.launcher.starts.empty());
  EXPECT_EQ(ba1.player_dir, "");

  set_setting("S_q", "qvodw", "/opt/engine/");
  headless.processes.add(40, "/opt/engine/QvodTerminal.exe");
  ba1.Web1.navigate(link);
  EXPECT_TRUE(headless.launcher.starts.empty());

  headless.processes.processes.clear();
  ba1.Web1.navigate(link);
  ASSERT_EQ(headless.launcher.starts.size(), 1u);
  EXPECT_EQ(headless.launcher.starts[0].path, "/opt/engine/QvodTerminal.exe");
  EXPECT_EQ(ba1.player_dir, "/opt/engine/");
}

TEST_F(LinkProtocol, SearchWithNothingToPlayReportsTheErrorOnTheStatusLine) {
  answer("id=1&v=1&v1=1", "1");
  answer("id=2&v=1&v1=1", "0");
  answer("id=3&v=1&v1=1", "");
  answer("id=4&v=1&v1=1", Reply{500, "t$A$qvod"});
  BA1& ba1 = open();
  for (const std::string id : {"1", "2", "3", "4"}) {
    ba1.show_status("");
    EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://" + id + "-1-1-abc"));
    settle();
    // Nothing plays: there is no next episode to lose.
    EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked) << id;
    EXPECT_EQ(ba1.zhun.caption(), "读取数据出错，请重试") << id;
  }
  EXPECT_EQ(queries().size(), 4u);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_TRUE(headless.tray.balloons.empty());
  EXPECT_EQ(playing_episode(ba1), "0");
}

TEST_F(LinkProtocol, AHungServiceCountsAsAFailedSearchAfterTheTimeOut) {
  answer("id=5&v=1&v1=1", Reply{200, "t$A$qvod", "text/plain", 5000});
  BA1& ba1 = open();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://5-1-1-abc"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(ba1.zhun.caption(), "正在搜索资源，请稍后");
  settle();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_EQ(ba1.zhun.caption(), "读取数据出错，请重试");
  EXPECT_TRUE(player().calls.empty());
}

TEST_F(LinkProtocol, AnUnreadableReplyRaisesTheBalloonAndPlaysNothing) {
  answer("id=6&v=1&v1=1", "<html>Service Unavailable</html>");
  BA1& ba1 = open();
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://6-1-1-abc"));
  settle();
  ASSERT_EQ(headless.tray.balloons.size(), 1u);
  EXPECT_EQ(headless.tray.balloons[0].text, "读取数据出错，请返回重试！");
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
}

TEST_F(LinkProtocol, OnlyTheExactKindQvodPlaysInThePlayerOtherKindsOpenTheWebPlayerPage) {
  const std::string address = "http://video.example/a b.flv";
  answer("id=8&v=3&v1=2", "t$" + address + "$QVOD");
  BA1& ba1 = open();
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("razavov://8-3-2-abc"));
  settle();
  EXPECT_TRUE(played(player().calls).empty());
  EXPECT_TRUE(ba1.plays_web_page());
  EXPECT_EQ(last_address(ba1.Web2), base() + "play.htm?QVOD$$$" + text::url_escape(address));
  EXPECT_EQ(playing_episode(ba1), "8-3-2-abc");
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_EQ(last_address(ba1.Web5), base() + "pp.htm?8-3-2-abc-0");
  EXPECT_EQ(first_line("date.dat"), "8|abc|t|" + text::url_escape(address) + "|3|2|0");
}

TEST_F(LinkProtocol, PlayLinkWithoutANameStillPlaysButOpensNoListAndRecordsNothing) {
  BA1& ba1 = open();
  EXPECT_TRUE(
      ba1.Web1.raise_before_navigate2("eeqvod://qvod&&&qvod%3A//1%7CH%7C&&&&&&l&&&7&&&1&&&2/"));
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=qvod://1|H|", "Play"}));
  EXPECT_EQ(ba1.bo_name.caption(), "-l");
  EXPECT_TRUE(ba1.Web5.requests().empty());
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  EXPECT_EQ(playing_episode(ba1), "7-1-2-");
}

// A page hands the player media only: a play link or a network entry to anything else is refused
// on the status line, and what plays goes on playing, unrecorded.
TEST_F(LinkProtocol, APlayLinkOrEntryToAnythingButMediaIsRefusedAndWhatPlaysGoesOn) {
  BA1& ba1 = open();
  ba1.Web1.navigate("eeqvod://qvod&&&" + text::url_escape(kAddress) + "&&&n&&&l&&&1&&&2&&&3");
  folder.write("date.dat", "1|n|l|" + text::url_escape(kAddress) + "|2|3|0\r\n" + "9|m|l|" +
                               text::url_escape("zzqvod://x") + "|2|3|0\r\n");
  player().calls.clear();
  ba1.Web1.navigate("eeqvod://qvod&&&" + text::url_escape("av://lavfi:testsrc") +
                    "&&&m&&&l&&&9&&&2&&&3");
  ba1.Web3.navigate("open://2");
  EXPECT_TRUE(player().calls.empty());
  EXPECT_EQ(player().address, kAddress);
  EXPECT_EQ(ba1.zhun.caption(), "无法播放该地址");
  EXPECT_EQ(folder.read("date.dat").find("lavfi"), std::string::npos);
}

TEST_F(LinkProtocol, TitleShowsTheUnescapedNameCutToThirtyColumnsAndTheLabel) {
  BA1& ba1 = open();
  const std::string name = text::url_escape("很长的节目名字一二三四五六七八九十甲乙丙丁");
  ba1.Web1.navigate("eeqvod://qvod&&&qvod%3A//1%7CH%7Ca%7C&&&" + name + "&&&" +
                    text::url_escape("第1集") + "&&&3&&&1&&&1");
  EXPECT_EQ(ba1.bo_name.caption(), "很长的节目名字一二三四五六七八-第1集");
}

TEST_F(LinkProtocol, EpisodeListAndCataloguePanesHandTheirLinksToTheExecutingPane) {
  answer("id=9&v=1&v1=1", "t$" + kAddress + "$qvod");
  BA1& ba1 = open();
  // An address that merely carries a play link in its query is taken as one.
  EXPECT_TRUE(
      ba1.Web5.raise_before_navigate2("http://h/p?go=eeqvod://qvod&&&A&&&n&&&l&&&4&&&1&&&1"));
  EXPECT_TRUE(ba1.plays_web_page());
  EXPECT_EQ(playing_episode(ba1), "4-1-1-n");
  EXPECT_TRUE(ba1.Web1.raise_before_navigate2("http://h/p?eeqvod://qvod&&&A&&&n&&&l&&&5&&&1&&&1"));
  EXPECT_EQ(playing_episode(ba1), "5-1-1-n");

  EXPECT_TRUE(ba1.Web5.raise_before_navigate2("razavov://9-1-1-abc"));
  settle();
  EXPECT_EQ(queries(), Strings{"id=9&v=1&v1=1"});
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=" + kAddress, "Play"}));

  // Ordinary pages load as usual.
  EXPECT_FALSE(ba1.Web1.raise_before_navigate2(base() + "list.htm?open://1"));
  EXPECT_FALSE(ba1.Web5.raise_before_navigate2(base() + "pp.htm?1-1-1-a-0"));
  EXPECT_FALSE(ba1.Web3.raise_before_navigate2(folder.file("c.htm")));
}

TEST_F(LinkProtocol, OpenPlaysANetworkEntryFromItsStoredPosition) {
  folder.write("date.dat", "5|abc|t1|qvod%3A//1%7CA%7C|1|3|0\r\n9|%u4E2D|%u7B2C2%u96C6|" +
                               text::url_escape(kOtherAddress) + "|2|4|125\r\n");
  set_setting("S_q", "qvodw", "/opt/engine/");
  BA1& ba1 = open();
  ba1.select_side_tab(11, 1);
  ba1.Timer1.set_timer_enabled(false);
  ba1.Pic2.set_visible(true);
  ba1.qvod.set_visible(false);

  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://2/"));
  // The stored position goes with the load: the first picture is the resume point's.
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=" + kOtherAddress, "Play@125"}));
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_EQ(ba1.session().resume_position(), 125);
  EXPECT_EQ(ba1.bo_name.caption(), "中-第2集");
  EXPECT_EQ(last_address(ba1.Web5), base() + "pp.htm?9-2-4-%u4E2D-0");
  EXPECT_EQ(playing_episode(ba1), "9-2-4-%u4E2D");
  EXPECT_TRUE(ba1.plays_network_item());
  EXPECT_FALSE(ba1.plays_web_page());
  EXPECT_FALSE(ba1.Pic2.visible());
  EXPECT_TRUE(ba1.qvod.visible());
  EXPECT_EQ(last_address(ba1.Web2), "about:blank");
  // Here only the folder the window learned counts; the settings are not asked.
  EXPECT_TRUE(headless.launcher.starts.empty());

  ba1.player_dir = "/opt/engine/";
  const int pumps = headless.backend.pumps();
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1"));
  ASSERT_EQ(headless.launcher.starts.size(), 1u);
  EXPECT_EQ(headless.launcher.starts[0].path, "/opt/engine/QvodTerminal.exe");
  EXPECT_GT(headless.backend.pumps(), pumps);
  EXPECT_EQ(ba1.session().resume_position(), 0);
  EXPECT_EQ(ba1.bo_name.caption(), "abc-t1");
}

TEST_F(LinkProtocol, OpenOfANetworkEntryThatIsNoPlayerAddressLetsTheEpisodeListOpenIt) {
  folder.write("date.dat", "11|web|w|http%3A//v/x.flv|3|6|80\r\n");
  BA1& ba1 = open();
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1"));
  EXPECT_TRUE(played(player().calls).empty());
  EXPECT_TRUE(ba1.plays_web_page());
  EXPECT_TRUE(ba1.plays_network_item());
  EXPECT_EQ(last_address(ba1.Web5), base() + "pp.htm?11-3-6-web-36");
}

TEST_F(LinkProtocol, OpenPlaysALocalEntryOrDropsItWhenTheFileIsGone) {
  folder.write("a.mp4", "media");
  const std::string present = folder.file("a.mp4");
  const std::string gone = folder.file("gone.mp4");
  folder.write("date_f.dat", "a.mp4|" + present + "|42\r\ngone.mp4|" + gone + "|7\r\n");
  BA1& ba1 = open();
  ba1.select_side_tab(16, 1);
  play_network_episode(ba1, "1-1-1-a", "1");
  player().calls.clear();

  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1/"));
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=" + present, "Play@42"}));
  EXPECT_EQ(ba1.session().resume_position(), 42);
  EXPECT_EQ(playing_file(ba1), present);
  EXPECT_EQ(playing_episode(ba1), "0");
  EXPECT_EQ(ba1.bo_name.caption(), "a.mp4");
  EXPECT_TRUE(headless.dialogs.shown().empty());

  player().calls.clear();
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://2"));
  ASSERT_EQ(headless.dialogs.shown().size(), 1u);
  EXPECT_EQ(headless.dialogs.last()->title, "Pelmora");
  EXPECT_EQ(headless.dialogs.last()->text, gone + "不存在");
  EXPECT_EQ(headless.dialogs.last()->buttons, platform::MessageButtons::kOk);
  EXPECT_EQ(folder.read("date_f.dat"), "a.mp4|" + present + "|42\r\n");
  EXPECT_TRUE(played(player().calls).empty());
  EXPECT_EQ(playing_file(ba1), present);
}

TEST_F(LinkProtocol, AnIndexThatNamesNoLineIsIgnored) {
  write_network_list(3);
  folder.write("date.dat", folder.read("date.dat") + "\r\n");  // one empty line at the end
  const std::string before = folder.read("date.dat");
  BA1& ba1 = open();
  for (const std::string link :
       {"open://0", "open://x", "open://5", "open://", "open://4", "open://1/2", "open://-1",
        "delk://0", "delk://abc", "delk://9", "delk://", "delk://-2"}) {
    EXPECT_TRUE(ba1.Web3.raise_before_navigate2(link)) << link;
  }
  EXPECT_EQ(folder.read("date.dat"), before);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_TRUE(ba1.Web5.requests().empty());
  EXPECT_EQ(ba1.session().list_of_current(), std::nullopt);

  // A missing list is ignored alike.
  platform::files::remove(folder.file("date_f.dat"));
  ba1.select_side_tab(16, 1);
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("open://1"));
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("delk://1"));
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_FALSE(folder.has("date_f.dat"));
}

// A page left out of step with its list (the program ended between writing the two): its rows
// name lines that hold other records now, and neither removes nor plays them.
TEST_F(LinkProtocol, ARowOfAnOlderPageActsOnNothingAndThePageIsRenderedAnew) {
  write_network_list(3);
  BA1& ba1 = open();
  play_network_episode(ba1, "1-1-1-a", "1");
  player().calls.clear();
  lists::render_list({folder.path(), nullptr}, lists::kNetworkList);
  const std::string old_page = folder.read("c.htm");
  std::smatch link;
  ASSERT_TRUE(std::regex_search(old_page, link, std::regex("delk://2-[0-9a-f]{8}")));
  const std::string old_delete = link.str();
  const std::string old_open = "open://" + old_delete.substr(7) + "/";

  // Record 2 is gone from the list; line 2 holds record 3 now.
  folder.write("date.dat", "1|name1|l|qvod%3A//1|1|1|0\r\n3|name3|l|qvod%3A//3|1|1|0\r\n");
  const std::string list = folder.read("date.dat");
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2(old_delete));
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2(old_open));
  ba1.chrome.list_link = old_open;
  ba1.ddd();
  EXPECT_EQ(folder.read("date.dat"), list);
  EXPECT_TRUE(player().calls.empty());
  EXPECT_EQ(folder.read("c.htm"), lists::page_text(list, false));
  EXPECT_EQ(last_address(ba1.Web3), folder.file("c.htm"));

  // The rows of the new page act on their records.
  const std::string new_page = folder.read("c.htm");
  ASSERT_TRUE(std::regex_search(new_page, link, std::regex("delk://2-[0-9a-f]{8}")));
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2(link.str() + "/"));
  EXPECT_EQ(folder.read("date.dat"), "1|name1|l|qvod%3A//1|1|1|0\r\n");
}

TEST_F(LinkProtocol, DeleteRemovesTheLineOfTheListOnViewWithEverySlashDropped) {
  write_network_list(13);
  BA1& ba1 = open();
  play_network_episode(ba1, "1-1-1-a", "1");
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("delk://1/2/"));
  EXPECT_EQ(folder.read("date.dat").find("12|name12|"), std::string::npos);
  EXPECT_NE(folder.read("date.dat").find("13|name13|"), std::string::npos);
  EXPECT_TRUE(ba1.Web5.requests().empty());
  EXPECT_EQ(last_address(ba1.Web3), folder.file("c.htm"));

  play_local_file(ba1, "/m/a.mp4");
  ba1.Web5.clear_requests();
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("delk://3/"));
  EXPECT_EQ(folder.read("date.dat").find("3|name3|"), std::string::npos);
  EXPECT_EQ(first_line("date.dat"), "1|name1|l|qvod%3A//1|1|1|0");
  EXPECT_TRUE(refreshed(ba1.Web5));

  folder.write("date_f.dat", "a|/m/a.mp4|0\r\nb|/m/b.mp4|0\r\n");
  ba1.select_side_tab(16, 1);
  EXPECT_TRUE(ba1.Web3.raise_before_navigate2("delk://1"));
  EXPECT_EQ(folder.read("date_f.dat"), "b|/m/b.mp4|0\r\n");
  EXPECT_EQ(last_address(ba1.Web4), folder.file("f.htm"));
}

TEST_F(LinkProtocol, ListPanesForwardListLinksToTheNetworkListPane) {
  write_network_list(3);
  BA1& ba1 = open();
  play_network_episode(ba1, "1-1-1-a", "1");
  player().calls.clear();
  EXPECT_TRUE(ba1.Web4.raise_before_navigate2("delk://2"));
  EXPECT_EQ(folder.read("date.dat").find("2|name2|"), std::string::npos);
  EXPECT_TRUE(refreshed(ba1.Web4));

  EXPECT_TRUE(ba1.Web5.raise_before_navigate2("delk://2"));
  EXPECT_EQ(first_line("date.dat"), "1|name1|l|qvod%3A//1|1|1|0");
  EXPECT_EQ(folder.read("date.dat").find("3|name3|"), std::string::npos);
  EXPECT_TRUE(refreshed(ba1.Web5));

  EXPECT_TRUE(ba1.Web4.raise_before_navigate2("open://1"));
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=qvod://1", "Play"}));
  EXPECT_TRUE(ba1.Web5.raise_before_navigate2("open://1"));
  EXPECT_EQ(played(player().calls).size(), 4u);
  EXPECT_TRUE(ba1.plays_network_item());
}

class EndOfPlayback : public pelmora::testing::WebTest {
 protected:
  // Episode 3 of programme 77 plays; its next episode as the service answers (unknown
  // episodes answer "1": none).
  BA1& open_playing(const std::string& s_bo, const std::string& next_reply = "") {
    set_setting("S_q", "s_bo", s_bo);
    if (!next_reply.empty()) answer("id=77&v=1&v1=4", next_reply);
    BA1& ba1 = open();
    play_network_episode(ba1, "77-1-3-abc", "77");
    if (!next_reply.empty()) {
      ba1.session().fetch_next();
      settle();
    }
    player().calls.clear();
    ba1.Web5.clear_requests();
    ba1.Timer1.set_timer_enabled(false);
    return ba1;
  }
  std::string marker() const { return config.end_marker + "next"; }
};

TEST_F(EndOfPlayback, WithoutAutomaticPlayingTheMarkerOnlyRestartsTheStatusMonitor) {
  BA1& ba1 = open_playing("1", "n4$A$qvod");
  EXPECT_TRUE(ba1.Web2.raise_before_navigate2(marker()));
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
  EXPECT_TRUE(player().calls.empty());
  EXPECT_TRUE(ba1.Web5.requests().empty());
  EXPECT_FALSE(ba1.Web2.raise_before_navigate2(base() + "play.htm?flv$$$A"));
}

TEST_F(EndOfPlayback, PlaysTheReadyNextEpisode) {
  BA1& ba1 = open_playing("2", "n4$" + kAddress + "$qvod");
  EXPECT_TRUE(ba1.Web2.raise_before_navigate2(marker()));
  EXPECT_EQ(played(player().calls), (Strings{"MediaAddress=" + kAddress, "Play"}));
  EXPECT_EQ(playing_episode(ba1), "77-1-4-abc");
  EXPECT_EQ(ba1.session().next().state, playback::NextEpisode::State::kNotAsked);
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
}

TEST_F(EndOfPlayback, LetsTheEpisodeListOpenTheNextEpisodeWhenNoneIsPrepared) {
  for (const std::string reply : {"", "0", "garbage"}) {  // not asked, not yet, failed
    BA1& ba1 = open_playing("2", reply);
    EXPECT_TRUE(ba1.Web2.raise_before_navigate2(marker()));
    EXPECT_EQ(last_address(ba1.Web5), base() + "pp.htm?77-1-3-abc-14") << reply;
  }
  BA1& ba1 = open_playing("2", "1");
  EXPECT_TRUE(ba1.Web2.raise_before_navigate2(marker()));
  EXPECT_TRUE(ba1.Web5.requests().empty());
  EXPECT_TRUE(player().calls.empty());
  EXPECT_FALSE(ba1.Timer1.timer_enabled());
  // Without a network episode there is no list to ask.
  play_local_file(ba1, "/m/a.mp4");
  ba1.Web5.clear_requests();
  EXPECT_TRUE(ba1.Web2.raise_before_navigate2(marker()));
  EXPECT_TRUE(ba1.Web5.requests().empty());
}

}  // namespace
}  // namespace pelmora::app
