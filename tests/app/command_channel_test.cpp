#include "lists/list_files.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using CommandChannel = pelmora::testing::MainWindowTest;

TEST_F(CommandChannel, ACommandLinePlaysTheFileAndRecordsItInTheLocalList) {
  BA1& ba1 = open_window("\"/media/films/a.rmvb\"");
  EXPECT_EQ(player().address, "/media/films/a.rmvb");
  EXPECT_EQ(player().calls.back(), "Play");
  EXPECT_EQ(ba1.bo_name.caption(), "a.rmvb");
  EXPECT_EQ(playing_file(ba1), "/media/films/a.rmvb");
  EXPECT_EQ(playing_episode(ba1), "0");
  EXPECT_EQ(folder.read("date_f.dat"), "a.rmvb|/media/films/a.rmvb|0\r\n\r\n");
  EXPECT_NE(folder.read("f.htm").find(">a.rmvb</a>"), std::string::npos);
  EXPECT_NE(folder.read("f.htm").find("href=open://1-"), std::string::npos);
  EXPECT_TRUE(ba1.Timer1.timer_enabled());
}

TEST_F(CommandChannel, ASecondStartHandsItsCommandLineOverAndEndsWithoutAWindow) {
  BA1& first = open_window();
  first.show();
  // The second start has its own end of the channel, meeting the first on the same bus.
  headless::HeadlessChannel second_channel(headless.bus);
  const platform::Services second_services{
      headless.backend,   headless.backend,  http,
      headless.processes, headless.launcher, headless.dialogs,
      headless.tray,      second_channel,    headless.power,
      headless.screen,    headless.adapters, headless.player_engine};
  auto second =
      std::make_unique<BA1>(second_services, config, folder.path(), "qvod://1|AB|名字.rmvb|/");
  headless.backend.attach(*second);
  const auto pings_before = second->Web6.requests().size();
  second->show();
  EXPECT_TRUE(second->ended());
  EXPECT_FALSE(second->shown());
  EXPECT_EQ(second->Web6.requests().size(), pings_before);  // no statistics request
  EXPECT_FALSE(second->Timer1.timer_enabled());

  // The running window plays the link without the final "/". A player address holds "|",
  // which would corrupt its record: it is played but not recorded.
  EXPECT_EQ(player().address, "qvod://1|AB|名字.rmvb|");
  EXPECT_EQ(playing_file(first), "qvod://1|AB|名字.rmvb|");
  EXPECT_EQ(first.bo_name.caption(), "名字.rmvb");
  EXPECT_EQ(folder.read("date_f.dat"), "\r\n");
}

TEST_F(CommandChannel, AnEmptyCommandOnlyBringsTheWindowBack) {
  BA1& ba1 = open_window();
  ba1.show();
  ba1.set_window_state(platform::WindowState::kMinimized);
  ba1.Timer3.set_timer_enabled(false);
  ba1.Form_LinkExecute("");
  EXPECT_EQ(ba1.window_state(), platform::WindowState::kNormal);
  EXPECT_TRUE(ba1.shown());
  EXPECT_TRUE(ba1.Timer3.timer_enabled());
  EXPECT_TRUE(player().calls.empty() || player().calls.back() != "Play");
}

TEST_F(CommandChannel, PlayingTheSameFileAgainMovesItToTheTop) {
  BA1& ba1 = open_window();
  ba1.Form_LinkExecute("/m/a.mp4");
  ba1.Form_LinkExecute("/m/b.mp4");
  ba1.Form_LinkExecute("\"/m/a.mp4\"");
  EXPECT_EQ(folder.read("date_f.dat"), "a.mp4|/m/a.mp4|0\r\nb.mp4|/m/b.mp4|0\r\n");
}

}  // namespace
}  // namespace pelmora::app

namespace pelmora::app {
namespace {

TEST_F(CommandChannel, AFileAddressFromTheDesktopPlaysAndIsListedByItsPath) {
  BA1& ba1 = open_window();
  ba1.Form_LinkExecute("file:///m/%E7%94%B5%E5%BD%B1%201.mp4");
  EXPECT_EQ(player().address, "/m/电影 1.mp4");
  EXPECT_EQ(ba1.bo_name.caption(), "电影 1.mp4");
  EXPECT_EQ(folder.read("date_f.dat"), "电影 1.mp4|/m/电影 1.mp4|0\r\n\r\n");
  // A player address goes on as it came, without the slash a browser appends.
  ba1.Form_LinkExecute("qvod://12|0123456789abcdef0123456789abcdef01234567|a.mp4|/");
  EXPECT_EQ(player().address, "qvod://12|0123456789abcdef0123456789abcdef01234567|a.mp4|");
}

}  // namespace
}  // namespace pelmora::app

namespace pelmora::app {
namespace {

// Only media reaches the player: anything else is refused with a message and stops nothing. A
// web address is named by its last segment, listed, and plays again from the local list.
TEST_F(CommandChannel, UnknownSchemesAreRefusedAndWebAddressesAreNamedAndListed) {
  BA1& ba1 = open_window("http://127.0.0.1:9/nothing.mp4");
  EXPECT_EQ(ba1.bo_name.caption(), "nothing.mp4");
  ba1.Form_LinkExecute("av://lavfi:testsrc");
  ASSERT_EQ(headless.dialogs.shown().size(), 1u);
  EXPECT_NE(headless.dialogs.last()->text.find("无法播放：av://lavfi:testsrc"), std::string::npos);
  EXPECT_EQ(player().calls.back(), "Play");  // what plays goes on
  const std::string listed = "nothing.mp4|http://127.0.0.1:9/nothing.mp4|0\r\n\r\n";
  EXPECT_EQ(folder.read("date_f.dat"), listed);
  ba1.npc_Click(16);  // the local list on view
  ba1.Web4.raise_before_navigate2("open://1");
  EXPECT_EQ(headless.dialogs.shown().size(), 1u);
  EXPECT_EQ(player().calls.back(), "Play");
  EXPECT_EQ(folder.read("date_f.dat"), listed);
}

}  // namespace
}  // namespace pelmora::app
