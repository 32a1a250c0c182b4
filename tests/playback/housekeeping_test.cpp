#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "engine_client/engine_files.h"
#include "lists/list_files.h"
#include "platform/http_fetch.h"
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

TEST_F(Housekeeping, StartUpStartsTheTerminalFromTheSavedFolderWhenNoneRuns) {
  set_setting("S_q", "qvodw", "/home/u/.local/share/pelmora/Qvod/");
  BA1& ba1 = open_window();
  start_up();
  EXPECT_EQ(started(),
            std::vector<std::string>{"/home/u/.local/share/pelmora/Qvod/QvodTerminal.exe"});
  EXPECT_EQ(ba1.player_dir, "/home/u/.local/share/pelmora/Qvod/");
  EXPECT_EQ(setting("S_q", "qvodw"), "/home/u/.local/share/pelmora/Qvod/");
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
  EXPECT_TRUE(engine::write_save_folder(settings::read_ini(ini, "S_q", "qvodw"), text,
                                        "/old/media/", "/home/u/new place/", launcher));
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
  EXPECT_FALSE(engine::write_save_folder(settings::read_ini(ini, "S_q", "qvodw"), original, "/old/",
                                         "/new/", launcher));
  EXPECT_TRUE(launcher.starts.empty());
  settings::write_ini(ini, "S_q", "qvodw", engine_dir());
  EXPECT_FALSE(engine::write_save_folder(settings::read_ini(ini, "S_q", "qvodw"), original, "/old/",
                                         "/a\"b/", launcher));
  EXPECT_FALSE(engine::write_save_folder(settings::read_ini(ini, "S_q", "qvodw"), original, "/old/",
                                         "/a\nb/", launcher));
  EXPECT_EQ(folder.read("QvodPlayer.xml"), original);
  EXPECT_TRUE(launcher.starts.empty());
}

// The player folder the program prepares for a user who may not write where it is installed.
class PlayerFolder : public ::testing::Test {
 protected:
  PlayerFolder() {
    std::filesystem::create_directories(folder.file("engine"));
    std::filesystem::create_directories(folder.file("elsewhere"));
    folder.write("engine/QvodTerminal.exe", "#!/bin/sh\n");
    std::filesystem::permissions(terminal(), std::filesystem::perms::owner_all);
    folder.write("elsewhere/QvodTerminal.exe", "#!/bin/sh\n");
    std::filesystem::permissions(folder.file("elsewhere/QvodTerminal.exe"),
                                 std::filesystem::perms::owner_all);
  }
  std::string terminal() const { return folder.file("engine/QvodTerminal.exe"); }
  std::string ini() const { return folder.file("config.dll"); }
  std::string player() const { return engine::player_folder_of(folder.file("home")); }
  std::string link_target() const {
    return std::filesystem::read_symlink(player() + "QvodTerminal.exe").string();
  }
  pelmora::testing::TempFolder folder;
  settings::Store store{ini()};
};

TEST_F(PlayerFolder, IsMadeWithALinkToTheTerminalItsSettingsAndTheSavedFolder) {
  EXPECT_EQ(player(), folder.file("home") + "/Qvod/");
  ASSERT_TRUE(engine::prepare_player_folder(store, player(), terminal()));
  EXPECT_EQ(link_target(), terminal());
  EXPECT_EQ(settings::read_ini(ini(), "S_q", "qvodw"), player());
  EXPECT_EQ(engine::save_folder(player()), engine::default_save_folder());
  EXPECT_EQ(*engine::read_settings_text(player()), engine::default_settings_text());

  // The settings dialog's change survives the next start; a link gone astray is renewed.
  headless::RecordingLauncher launcher;
  ASSERT_TRUE(engine::write_save_folder(settings::read_ini(ini(), "S_q", "qvodw"),
                                        *engine::read_settings_text(player()),
                                        engine::default_save_folder(), "/srv/films/", launcher));
  std::filesystem::remove(player() + "QvodTerminal.exe");
  std::filesystem::create_symlink("/nowhere/QvodTerminal.exe", player() + "QvodTerminal.exe");
  ASSERT_TRUE(engine::prepare_player_folder(store, player(), terminal()));
  EXPECT_EQ(link_target(), terminal());
  EXPECT_EQ(engine::save_folder(player()), "/srv/films/");
}

TEST_F(PlayerFolder, KeepsAWorkingEngineFolderAndTheUsersOwnTerminal) {
  settings::write_ini(ini(), "S_q", "qvodw", folder.file("elsewhere/"));
  ASSERT_TRUE(engine::prepare_player_folder(store, player(), terminal()));
  EXPECT_EQ(settings::read_ini(ini(), "S_q", "qvodw"), folder.file("elsewhere/"));

  // A saved folder without a terminal in it is replaced by the prepared one.
  settings::write_ini(ini(), "S_q", "qvodw", folder.file("gone/"));
  ASSERT_TRUE(engine::prepare_player_folder(store, player(), terminal()));
  EXPECT_EQ(settings::read_ini(ini(), "S_q", "qvodw"), player());

  // A real program in the player folder is the user's own choice and stays.
  std::filesystem::remove(player() + "QvodTerminal.exe");
  folder.write("home/Qvod/QvodTerminal.exe", "#!/bin/sh\nmine\n");
  ASSERT_TRUE(engine::prepare_player_folder(store, player(), terminal()));
  EXPECT_EQ(folder.read("home/Qvod/QvodTerminal.exe"), "#!/bin/sh\nmine\n");
}

TEST_F(PlayerFolder, WithoutATerminalProgramNothingIsSaved) {
  EXPECT_FALSE(engine::prepare_player_folder(store, player(), ""));
  EXPECT_EQ(settings::read_ini(ini(), "S_q", "qvodw"), "0");
  EXPECT_TRUE(folder.has("home/Qvod/QvodPlayer.xml"));  // the dialog can still set a folder
}

// An HTTP fetch that is still busy when the program exits.
class BusyFetch final : public platform::HttpFetch {
 public:
  RequestId start(const std::string&, Reply) override { return 1; }
  void cancel(RequestId) override {}
  bool pending(RequestId) const override { return !cancelled; }
  bool busy() const override { return !cancelled; }
  void cancel_all() override { cancelled = true; }
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
  ba1.exit_recommendation = true;
  ba1.Pic2.set_visible(false);
  play_network_episode(ba1, "12-2-5-name", "12", "qvod://100|ABC|e5|");
  player().state = PlayState::kPlaying;
  player().position_s = 640;
  player().duration_s = 1000;
  ba1.Timer1_Timer();

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
