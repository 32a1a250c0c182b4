// The program folder on a file system of its own, as a user meets it on a read-only medium or a
// full disk: a tmpfs mounted for the test (root may mount; elsewhere the tests are skipped and
// say why).
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "settings_dialog/settings_dialog.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

constexpr std::string_view kNotSaved = "磁盘已满或目录不可写，播放记录暂时无法保存";
constexpr std::string_view kSettingsNotSaved = "磁盘已满或目录不可写，设置暂时无法保存";

// The program folder (prepared as start-up prepares it) on a small tmpfs of its own.
class ProgramFolderOnItsOwnDisk : public pelmora::testing::MainWindowTest {
 protected:
  void SetUp() override {
    folder.write("date_f.dat", "old.mp4|/m/old.mp4|0\r\n");
    std::map<std::string, std::string> kept;
    for (const std::string& name : platform::files::list_regular_files(folder.path())) {
      kept[name] = folder.read(name);
    }
    if (::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=128k,mode=0700") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted = true;
    for (const auto& [name, content] : kept) folder.write(name, content);
  }
  void TearDown() override {
    window.reset();
    if (mounted) ::umount2(folder.path().c_str(), MNT_DETACH);
  }
  bool make_read_only() {
    return ::mount(nullptr, folder.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  void fill() {  // to the last byte, with one file
    std::FILE* out = std::fopen(folder.file("filler").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    while (std::fputc(0, out) != EOF) {
    }
    std::fclose(out);
  }
  bool mounted = false;
};

// A read-only program folder that holds settings is the program's folder: its settings are read
// and nothing in it is replaced; the user hears that changes are not saved.
TEST_F(ProgramFolderOnItsOwnDisk, AReadOnlyFoldersSettingsAndListsAreUsedAndKept) {
  set_setting("S_q", "s_bo", "1");
  const std::string settings = folder.read("config.dll");
  ASSERT_TRUE(make_read_only());
  ::setenv("XDG_DATA_HOME", (folder.path() + "/nowhere").c_str(), 1);  // never reached
  EXPECT_EQ(platform::resolve_program_folder(folder.path()), folder.path());
  ::unsetenv("XDG_DATA_HOME");
  BA1& ba1 = open_window("/m/new.mp4");
  EXPECT_EQ(ba1.settings_store.get().autoplay, "1");
  EXPECT_EQ(ba1.zhun.caption(), kNotSaved);
  EXPECT_EQ(folder.read("config.dll"), settings);
  EXPECT_EQ(folder.read("date_f.dat"), "old.mp4|/m/old.mp4|0\r\n");
}

// A file handed over while the disk is full plays; the user is told once, the old list stays
// whole, and the record is written as soon as there is room again.
TEST_F(ProgramFolderOnItsOwnDisk, AHandOverOnAFullDiskIsToldKeptAndRecordedWhenThereIsRoom) {
  BA1& ba1 = open_window();
  fill();
  ba1.Form_LinkExecute("/m/new.mp4");
  EXPECT_EQ(ba1.zhun.caption(), kNotSaved);
  ba1.Form_LinkExecute("/m/third.mp4");
  EXPECT_EQ(player().address, "/m/third.mp4");
  ASSERT_EQ(headless.tray.balloons.size(), 1u);
  EXPECT_EQ(headless.tray.balloons[0].text, kNotSaved);
  EXPECT_EQ(folder.read("date_f.dat"), "old.mp4|/m/old.mp4|0\r\n");

  headless.backend.advance(5000);
  EXPECT_EQ(folder.read("date_f.dat"), "old.mp4|/m/old.mp4|0\r\n");
  platform::files::remove(folder.file("filler"));
  headless.backend.advance(5000);
  EXPECT_EQ(folder.read("date_f.dat"),
            "third.mp4|/m/third.mp4|0\r\nnew.mp4|/m/new.mp4|0\r\nold.mp4|/m/old.mp4|0\r\n");
  EXPECT_NE(folder.read("f.htm").find(">third.mp4</a>"), std::string::npos);
  EXPECT_FALSE(ba1.save_retry.timer_enabled());
}

// A setting that cannot be written on a full disk is told (once for the settings dialog's eight
// keys, again after a write has succeeded) and the settings file stays as it was.
TEST_F(ProgramFolderOnItsOwnDisk, ASettingThatCannotBeWrittenIsToldAndTheFileKept) {
  set_setting("S_q", "ts", "3");
  BA1& ba1 = open_window();
  ba1.show();
  const std::string settings = folder.read("config.dll");
  fill();
  settings_dialog::BA3& dialog = ba1.settings_form();
  dialog.show();
  dialog.Check1[3].set_value(dialog.Check1[3].value() == 0 ? 1 : 0);
  dialog.cmdOK.raise_click();
  EXPECT_EQ(ba1.zhun.caption(), kSettingsNotSaved);
  ASSERT_EQ(headless.tray.balloons.size(), 1u);
  EXPECT_EQ(headless.tray.balloons[0].text, kSettingsNotSaved);
  EXPECT_EQ(folder.read("config.dll"), settings);

  // With room again the window's place is written as the program ends; then the close question's
  // answer cannot be, and the user hears it again.
  platform::files::remove(folder.file("filler"));
  ba1.keep_remembered();
  EXPECT_EQ(setting("S_q", "h_x"), std::to_string(ba1.left()));
  const std::string written = folder.read("config.dll");
  fill();
  headless.dialogs.answer_next(platform::Answer::kYes);
  click_on(ba1, ba1.npc[2]);
  EXPECT_FALSE(ba1.shown());
  ASSERT_EQ(headless.tray.balloons.size(), 2u);
  EXPECT_EQ(headless.tray.balloons[1].text, kSettingsNotSaved);
  EXPECT_EQ(folder.read("config.dll"), written);
}

}  // namespace
}  // namespace pelmora::app
