#include "settings_dialog/settings_dialog.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "engine_client/engine_files.h"
#include "platform/files.h"
#include "support/main_window_fixture.h"

namespace pelmora::settings_dialog {
namespace {

constexpr const char* kEngineSettings =
    "<?xml version=\"1.0\"?>\r\n"
    "<Setting Defaultsavepath=\"/srv/old media/\" Maxspeed=\"0\"/>\r\n";
constexpr const char* kChanged = "接受路径修改成功，可能部分电脑需要重启才能生效！";

class SettingsDialog : public pelmora::testing::MainWindowTest {
 protected:
  // The engine installed in the program folder's "engine", with or without its settings file.
  void install_engine(const char* settings = kEngineSettings) {
    platform::files::make_directories(folder.file("engine"));
    set_setting("S_q", "qvodw", engine);
    if (settings != nullptr) folder.write("engine/QvodPlayer.xml", settings);
  }
  BA3& open_dialog() {
    BA3& dialog = open_window().settings_form();
    dialog.show();
    return dialog;
  }
  std::size_t messages() const { return headless.dialogs.shown().size(); }

  const std::string engine = folder.file("engine") + "/";
  const std::string fallback = playback::engine::default_save_folder();
};

TEST_F(SettingsDialog, ShowsAPageAtATimeStartingWithAbout) {
  BA3& dialog = open_dialog();
  EXPECT_EQ(dialog.bb.caption(), "关于软件");
  dialog.d_z[2].raise_click();
  EXPECT_TRUE(dialog.p1[2].visible());
  EXPECT_FALSE(dialog.p1[0].visible());
  EXPECT_EQ(dialog.bb.caption(), "缓存设置");
  EXPECT_EQ(dialog.d_z[2].fore_color(), 0xFFFFFFu);
  EXPECT_EQ(dialog.d_z[0].fore_color(), 0x000000u);
}

TEST_F(SettingsDialog, ShowsASwitchClearedOnlyWhenItHoldsOneAndWritesAllEightInOrder) {
  set_setting("S_q", "quit", "1");
  set_setting("S_q", "s_h", "0");
  set_setting("S_q", "s_bo", "");
  install_engine();
  headless.processes.add(700, engine + "QvodTerminal.exe");
  BA3& dialog = open_dialog();
  EXPECT_EQ(dialog.Check1[5].value(), 0);  // quit "1"
  EXPECT_EQ(dialog.Check1[1].value(), 1);  // s_h "0"
  EXPECT_EQ(dialog.Check1[2].value(), 1);  // s_bo empty
  EXPECT_EQ(dialog.Check1[3].value(), 1);  // s_jd "2"
  // A settings file written from nothing shows the order of the writes.
  platform::files::remove(folder.file("config.dll"));
  dialog.Check1[3].set_value(0);
  dialog.cmdOK.raise_click();
  EXPECT_EQ(folder.read("config.dll"),
            "[S_q]\r\nquit=1\r\nqvodk=2\r\ns_size=2\r\ns_h=2\r\ns_bo=2\r\ns_jd=1\r\nqvodqi=2\r\n"
            "s_pao=2\r\n");
  // The folder was left as it was: the engine is not touched and nothing is said.
  EXPECT_TRUE(headless.processes.terminated.empty());
  EXPECT_EQ(folder.read("engine/QvodPlayer.xml"), kEngineSettings);
  EXPECT_EQ(messages(), 0u);
  EXPECT_FALSE(dialog.loaded());
}

TEST_F(SettingsDialog, CancelWritesNothing) {
  BA3& dialog = open_dialog();
  dialog.Check1[5].set_value(0);
  dialog.cmdCancel.raise_click();
  EXPECT_EQ(setting("S_q", "quit"), "2");
  EXPECT_FALSE(dialog.shown());
}

TEST_F(SettingsDialog, ChangingTheFolderRestartsTheEngineWithItsSettingsRewritten) {
  install_engine();
  headless.processes.add(700, engine + "QvodPlayer.exe");
  headless.processes.add(701, engine + "qvodterminal.EXE");
  headless.processes.add(702, engine + "QvodPlayer.exe");
  headless.processes.add(703, "/usr/bin/other");
  BA3& dialog = open_dialog();
  EXPECT_EQ(dialog.Text1.text(), "/srv/old media/");
  dialog.Text1.set_text("/srv/films");
  dialog.cmdApply.raise_click();
  EXPECT_EQ(dialog.Text1.text(), "/srv/films/");
  EXPECT_EQ(headless.processes.terminated, (std::vector<int>{700, 702, 701}));
  EXPECT_EQ(folder.read("engine/QvodPlayer.xml"),
            "<?xml version=\"1.0\"?>\r\n"
            "<Setting Defaultsavepath=\"/srv/films/\" Maxspeed=\"0\"/>\r\n\r\n");
  ASSERT_EQ(headless.launcher.starts.size(), 1u);
  EXPECT_EQ(headless.launcher.starts[0].path, engine + "QvodTerminal.exe");
  EXPECT_EQ(headless.dialogs.last()->text, kChanged);
  // A second change in the same dialog replaces the first one, not the folder first read.
  dialog.Text1.set_text("/srv/b/");
  dialog.cmdApply.raise_click();
  EXPECT_EQ(playback::engine::save_folder(engine), "/srv/b/");
  EXPECT_EQ(messages(), 2u);
}

TEST_F(SettingsDialog, AFolderThatIsNotAFullPathBecomesTheDefault) {
  install_engine();
  BA3& dialog = open_dialog();
  dialog.Text1.set_text("films");
  dialog.cmdApply.raise_click();
  EXPECT_EQ(dialog.Text1.text(), fallback);
  EXPECT_EQ(playback::engine::save_folder(engine), fallback);
}

TEST_F(SettingsDialog, AFolderThatCannotBeWrittenIsNeverReportedAsChanged) {
  struct Case {
    const char* engine_settings;
    const char* folder;
  };
  for (const Case& c : {Case{kEngineSettings, "/srv/a\"b/"},  // would break the file
                        Case{nullptr, "/srv/films/"},         // no settings file
                        Case{"<Setting Maxspeed=\"0\"/>\r\n", "/srv/films/"}}) {
    install_engine(c.engine_settings);
    headless.dialogs.clear();
    BA3& dialog = open_dialog();
    dialog.Text1.set_text(c.folder);
    dialog.cmdApply.raise_click();
    ASSERT_EQ(messages(), 1u) << c.folder;
    EXPECT_NE(headless.dialogs.last()->text, kChanged) << c.folder;
    platform::files::remove(folder.file("engine/QvodPlayer.xml"));
  }
}

TEST_F(SettingsDialog, WithoutTheEnginesSettingsFileTheEngineIsLeftRunning) {
  install_engine(nullptr);
  headless.processes.add(700, engine + "QvodTerminal.exe");
  BA3& dialog = open_dialog();
  EXPECT_EQ(dialog.Text1.text(), fallback);
  dialog.Text1.set_text("/srv/films/");
  dialog.cmdApply.raise_click();
  EXPECT_TRUE(headless.processes.terminated.empty());
  EXPECT_FALSE(folder.has("engine/QvodPlayer.xml"));
}

TEST_F(SettingsDialog, BrowsingSetsTheChosenFolderAndCancellingPutsTheEnginesBack) {
  install_engine("<Setting Defaultsavepath=\"/srv/old\"/>\r\n");
  BA3& dialog = open_dialog();
  headless.dialogs.choose_next_folder("/home/me/Videos");
  dialog.Command1.raise_click();
  EXPECT_EQ(dialog.Text1.text(), "/home/me/Videos/");
  EXPECT_EQ(headless.dialogs.last()->title, "请选择影片下载存放的文件夹");
  dialog.Text1.set_text("/typed/elsewhere/");
  headless.dialogs.choose_next_folder(std::nullopt);
  dialog.Command1.raise_click();
  EXPECT_EQ(headless.dialogs.last()->text, "/typed/elsewhere/");  // opens where the box says
  EXPECT_EQ(dialog.Text1.text(), "/srv/old/");
}

TEST_F(SettingsDialog, CancellingTheBrowserWithNoEngineFolderShowsTheDefaultNotTheRoot) {
  BA3& dialog = open_dialog();
  headless.dialogs.choose_next_folder(std::nullopt);
  dialog.Command1.raise_click();
  EXPECT_EQ(dialog.Text1.text(), fallback);
}

}  // namespace
}  // namespace pelmora::settings_dialog
