#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "lists/list_files.h"
#include "platform/http_fetch.h"
#include "playback/engine_files.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

namespace engine = playback::engine;
using platform::PlayState;

class Housekeeping : public pelmora::testing::MainWindowTest {
 protected:
  std::vector<std::string> started() {
    std::vector<std::string> paths;
    for (const auto& start : headless.launcher.starts) paths.push_back(start.path);
    return paths;
  }
  // Runs the single tick of the start-up check.
  void start_up() { headless.backend.advance(10); }
};

TEST_F(Housekeeping, StartUpEndsEveryRunningPlayerAndLearnsItsFolder) {
  headless.processes.add(101, "/opt/qvod/QvodPlayer.exe");
  headless.processes.add(102, "/home/u/bin/bash");
  headless.processes.add(103, "/opt/qvod/QvodPlayer.exe");
  headless.processes.add(104, "/opt/qvod/QvodTerminal.exe");
  BA1& ba1 = open_window();
  start_up();
  EXPECT_EQ(headless.processes.terminated, (std::vector<int>{101, 103}));
  EXPECT_EQ(ba1.player_dir, "/opt/qvod/");
  EXPECT_EQ(setting("S_q", "qvodw"), "/opt/qvod/");
  EXPECT_TRUE(started().empty());  // the terminal runs already
  EXPECT_FALSE(ba1.Timer3.timer_enabled());
  headless.backend.advance(1000);
  EXPECT_EQ(headless.processes.terminated.size(), 2U);  // it runs once
}

TEST_F(Housekeeping, StartUpTakesTheFolderOfARunningTerminalAndLeavesItRunning) {
  headless.processes.add(104, "/srv/engine/QvodTerminal.exe");
  BA1& ba1 = open_window();
  start_up();
  EXPECT_TRUE(headless.processes.terminated.empty());
  EXPECT_EQ(ba1.player_dir, "/srv/engine/");
  EXPECT_EQ(setting("S_q", "qvodw"), "/srv/engine/");
  EXPECT_TRUE(started().empty());
}

TEST_F(Housekeeping, StartUpWithNothingRunningTriesTheBareTerminalNameAndSavesNothing) {
  headless.launcher.succeed = false;
  BA1& ba1 = open_window();
  start_up();
  EXPECT_EQ(started(), std::vector<std::string>{"QvodTerminal.exe"});
  EXPECT_EQ(ba1.player_dir, "");
  EXPECT_EQ(setting("S_q", "qvodw"), "0");
}

TEST_F(Housekeeping, StartUpLeavesTheEngineAloneWhenAskedTo) {
  set_setting("S_q", "qvodqi", "1");
  headless.processes.add(101, "/opt/qvod/QvodPlayer.exe");
  BA1& ba1 = open_window();
  start_up();
  EXPECT_TRUE(headless.processes.terminated.empty());
  EXPECT_TRUE(started().empty());
  EXPECT_EQ(setting("S_q", "qvodw"), "0");

  BA1& again = open_window();
  again.player_dir = "/known/";
  start_up();
  EXPECT_EQ(setting("S_q", "qvodw"), "/known/");
  (void)ba1;
}

TEST(EngineProcesses, EndProcessEndsOneAndTerminateAllEndsEveryMatch) {
  headless::FakeProcessTable table;
  table.add(5, "/a/QvodPlayer.exe");
  table.add(6, "/b/qvodplayer.EXE");
  table.add(7, "/c/QvodPlayer.exe.bak");
  EXPECT_TRUE(engine::end_process(table, "QvodPlayer.exe"));
  EXPECT_EQ(table.terminated, std::vector<int>{5});
  EXPECT_EQ(engine::terminate_all(table, "QvodPlayer.exe"), "/b/qvodplayer.EXE");
  EXPECT_EQ(table.terminated, (std::vector<int>{5, 6}));
  EXPECT_FALSE(engine::end_process(table, "QvodTerminal.exe"));
  EXPECT_EQ(engine::terminate_all(table, "QvodTerminal.exe"), "");
}

class EngineSettingsFile : public ::testing::Test {
 protected:
  pelmora::testing::TempFolder folder;
  std::string engine_dir() const { return folder.path() + "/"; }
};

TEST_F(EngineSettingsFile, ReadsTheFolderFromTheFirstLineThatNamesIt) {
  folder.write("QvodPlayer.xml",
               "<?xml version=\"1.0\"?>\r\n<Config>\r\n"
               "<Down Defaultsavepath=\"/home/u/视频/下载/\" Max=\"3\"/>\r\n"
               "<Old Defaultsavepath=\"/elsewhere/\"/>\n</Config>");
  EXPECT_EQ(engine::save_folder(engine_dir()), "/home/u/视频/下载/");
  const std::optional<std::string> text = engine::read_settings_text(engine_dir());
  ASSERT_TRUE(text);
  EXPECT_EQ(text->substr(text->size() - 11), "</Config>\r\n");
}

TEST_F(EngineSettingsFile, FileWithoutTheKeyGivesAnEmptyFolderAndAMissingFileTheDefault) {
  folder.write("QvodPlayer.xml", "<Config>\r\n<Down Max=\"3\"/>\r\n</Config>\r\n");
  EXPECT_EQ(engine::save_folder(engine_dir()), "");
  folder.write("QvodPlayer.xml", "<Down Defaultsavepath=/x/>\r\n<Old Defaultsavepath=\"/y/\"/>");
  EXPECT_EQ(engine::save_folder(engine_dir()), "");
  const char* home = std::getenv("HOME");
  const std::string expected = std::string(home != nullptr ? home : "") + "/Media/";
  EXPECT_EQ(engine::save_folder(folder.file("missing/")), expected);
  EXPECT_EQ(engine::save_folder(""), expected);
}

TEST_F(EngineSettingsFile, WritesTheNewFolderIntoTheEngineFolderAndRestartsTheTerminal) {
  const std::string ini = folder.file("config.dll");
  settings::write_ini(ini, "S_q", "qvodw", engine_dir());
  folder.write("QvodPlayer.xml",
               "<Config>\n<Down Defaultsavepath=\"/old/media/\" Max=\"3\"/>\n"
               "<Mirror Defaultsavepath=\"/old/media/\"/>\n<Other Path=\"/old/media/\"/>\n"
               "</Config>\n");
  const std::string text = *engine::read_settings_text(engine_dir());
  headless::RecordingLauncher launcher;
  EXPECT_TRUE(engine::write_save_folder(ini, text, "/old/media/", "/home/u/new place/", launcher));
  EXPECT_EQ(folder.read("QvodPlayer.xml"),
            "<Config>\r\n<Down Defaultsavepath=\"/home/u/new place/\" Max=\"3\"/>\r\n"
            "<Mirror Defaultsavepath=\"/home/u/new place/\"/>\r\n<Other Path=\"/old/media/\"/>\r\n"
            "</Config>\r\n\r\n");
  ASSERT_EQ(launcher.starts.size(), 1U);
  EXPECT_EQ(launcher.starts[0].path, engine_dir() + "QvodTerminal.exe");
  EXPECT_EQ(engine::save_folder(engine_dir()), "/home/u/new place/");
}

TEST_F(EngineSettingsFile, RefusesAFolderThatWouldBreakTheFileAndAnUnknownEngineFolder) {
  const std::string ini = folder.file("config.dll");
  const std::string original = "<Down Defaultsavepath=\"/old/\"/>\r\n";
  folder.write("QvodPlayer.xml", original);
  headless::RecordingLauncher launcher;
  // No engine folder saved yet: nothing is written anywhere and nothing started.
  EXPECT_FALSE(engine::write_save_folder(ini, original, "/old/", "/new/", launcher));
  EXPECT_TRUE(launcher.starts.empty());
  settings::write_ini(ini, "S_q", "qvodw", engine_dir());
  EXPECT_FALSE(engine::write_save_folder(ini, original, "/old/", "/a\"b/", launcher));
  EXPECT_FALSE(engine::write_save_folder(ini, original, "/old/", "/a\nb/", launcher));
  EXPECT_EQ(folder.read("QvodPlayer.xml"), original);
  EXPECT_TRUE(launcher.starts.empty());
}

// An HTTP fetch that is still busy when the program exits.
class BusyFetch final : public platform::HttpFetch {
 public:
  std::string fetch_text(const std::string&) override { return {}; }
  bool busy() const override { return !cancelled; }
  void cancel() override { cancelled = true; }
  bool cancelled = false;
};

TEST_F(Housekeeping, ExitStopsAndSavesEndsTheEngineWhenAskedCancelsTheFetchAndUnloads) {
  BusyFetch fetch;
  services = std::make_unique<platform::Services>(headless.services(fetch));
  set_setting("S_q", "qvodk", "2");
  headless.processes.add(201, "/opt/qvod/QvodPlayer.exe");
  headless.processes.add(202, "/opt/qvod/QvodPlayer.exe");
  headless.processes.add(203, "/opt/qvod/QvodTerminal.exe");
  BA1& ba1 = open_window();
  ASSERT_TRUE(lists::add_task(ba1.list_place(), 12, "name", "label", "a", 2, 5, 0));
  headless.tray.add("Pelmora");
  platform::Form tip("tip");
  tip.load();
  ba1.exit_forms.push_back(&tip);
  std::vector<bool> recommendation;
  ba1.exit_recommendation_hook = [&](bool show) { recommendation.push_back(show); };
  ba1.exit_recommendation = "1";
  player().address = "qvod://100|ABC|e5|";
  player().state = PlayState::kPlaying;
  ba1.Pic2.set_visible(false);
  ba1.cur_item = "12";
  ba1.list_kind = 1;
  ba1.last_position = 640;

  ba1.ttt_v();
  EXPECT_FALSE(headless.tray.shown());
  EXPECT_EQ(player().calls.back(), "Stop");
  EXPECT_NE(folder.read("date.dat").find("|640"), std::string::npos);
  EXPECT_EQ(headless.processes.terminated, (std::vector<int>{201, 203}));
  EXPECT_TRUE(fetch.cancelled);
  EXPECT_FALSE(tip.loaded());
  EXPECT_FALSE(ba1.loaded());
  EXPECT_EQ(recommendation, std::vector<bool>{true});
}

TEST_F(Housekeeping, ExitLeavesTheEngineRunningUnlessAsked) {
  set_setting("S_q", "qvodk", "1");
  headless.processes.add(201, "/opt/qvod/QvodPlayer.exe");
  BA1& ba1 = open_window();
  std::vector<bool> recommendation;
  ba1.exit_recommendation_hook = [&](bool show) { recommendation.push_back(show); };
  ba1.ttt_v();
  EXPECT_TRUE(headless.processes.terminated.empty());
  EXPECT_FALSE(ba1.loaded());
  EXPECT_EQ(recommendation, std::vector<bool>{false});
}

}  // namespace
}  // namespace pelmora::app
