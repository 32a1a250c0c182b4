// The program folder on a file system of its own, as a user meets it on a read-only medium or a
// full disk: a tmpfs mounted for the test (root may mount; elsewhere the tests are skipped and
// say why).
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include "app/settings_store.h"
#include "platform/files.h"
#include "platform/program_folder.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using pelmora::testing::TempFolder;

constexpr std::string_view kNotSaved = "磁盘已满或目录不可写，播放记录暂时无法保存";

// A small tmpfs over `folder` that keeps the files the folder held; unmounted when it goes.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder) : folder_(folder) {
    std::map<std::string, std::string> kept;
    for (const std::string& name : platform::files::list_regular_files(folder)) {
      kept[name] = platform::files::read(platform::files::join(folder, name)).value_or("");
    }
    if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=128k,mode=0700") != 0) {
      error_ = std::strerror(errno);
      return;
    }
    mounted_ = true;
    for (const auto& [name, content] : kept) {
      platform::files::write_atomic(platform::files::join(folder, name), content);
    }
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }
  bool make_read_only() {
    return ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  // Fills the file system to the last byte with one file.
  void fill() {
    const std::string filler(4096, '\0');
    std::FILE* out = std::fopen(platform::files::join(folder_, "filler").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    while (std::fwrite(filler.data(), 1, filler.size(), out) == filler.size()) {
    }
    std::fclose(out);
  }
  void free_space() { platform::files::remove(platform::files::join(folder_, "filler")); }

 private:
  std::string folder_;
  std::string error_;
  bool mounted_ = false;
};

// A read-only program folder that holds settings is used: nothing in it is lost or replaced,
// start-up says once that changes cannot be saved there, and the window reads its settings.
TEST(ReadOnlyProgramFolder, ItsSettingsAndListsAreReadAndNothingIsLost) {
  TempFolder folder;
  const std::string home = folder.file("home");
  platform::files::make_directories(home);
  SmallFileSystem medium(home);
  if (!medium.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << medium.error();
  const std::string settings = "[S_q]\r\ns_bo=1\r\n";
  const std::string list = "a.mp4|/m/a.mp4|42\r\n";
  platform::files::write_atomic(platform::files::join(home, "config.dll"), settings);
  platform::files::write_atomic(platform::files::join(home, "date_f.dat"), list);
  ASSERT_TRUE(medium.make_read_only());

  const char* data_home = std::getenv("XDG_DATA_HOME");
  const std::string kept = data_home != nullptr ? data_home : "";
  ::setenv("XDG_DATA_HOME", folder.file("data").c_str(), 1);
  const std::string chosen = platform::resolve_program_folder(home);
  data_home != nullptr ? ::setenv("XDG_DATA_HOME", kept.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  ASSERT_EQ(chosen, home);

  headless::HeadlessPlatform headless;
  const Configuration config =
      Configuration::load(home, [](const char*) -> const char* { return nullptr; });
  class Window final : public MainWindowHost {
   public:
    bool loaded() const override { return loads > 0; }
    void load() override { ++loads; }
    void show() override {}
    void show_list_page(std::string_view, const std::string&) override {}
    int loads = 0;
  } window;
  ::testing::internal::CaptureStderr();
  Main({home, config, headless.player_engine, headless.dialogs, headless.launcher,
        headless.adapters, headless.backend, window});
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("changes cannot be saved there"),
            std::string::npos);
  EXPECT_EQ(window.loads, 1);
  EXPECT_EQ(platform::files::read(platform::files::join(home, "config.dll")), settings);
  EXPECT_EQ(platform::files::read(platform::files::join(home, "date_f.dat")), list);
  settings::Store store(settings::settings_path(home));
  EXPECT_EQ(store.get().autoplay, "1");
}

class FullProgramFolder : public pelmora::testing::MainWindowTest {
 protected:
  void SetUp() override {
    folder.write("date_f.dat", "old.mp4|/m/old.mp4|0\r\n");
    disk = std::make_unique<SmallFileSystem>(folder.path());
    if (!disk->mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk->error();
  }
  void TearDown() override {
    window.reset();
    disk.reset();
  }
  std::unique_ptr<SmallFileSystem> disk;
};

// A file handed over while the disk is full plays; the user is told once, the old list stays
// whole, and the record is written as soon as there is room again.
TEST_F(FullProgramFolder, AHandOverIsToldKeptAndRecordedWhenSpaceComesBack) {
  BA1& ba1 = open_window();
  disk->fill();
  ba1.Form_LinkExecute("/m/new.mp4");
  EXPECT_EQ(ba1.zhun.caption(), kNotSaved);
  ba1.Form_LinkExecute("/m/third.mp4");
  EXPECT_EQ(player().address, "/m/third.mp4");
  ASSERT_EQ(headless.tray.balloons.size(), 1u);
  EXPECT_EQ(headless.tray.balloons[0].text, kNotSaved);
  EXPECT_EQ(folder.read("date_f.dat"), "old.mp4|/m/old.mp4|0\r\n");

  headless.backend.advance(5000);
  EXPECT_EQ(folder.read("date_f.dat"), "old.mp4|/m/old.mp4|0\r\n");
  disk->free_space();
  headless.backend.advance(5000);
  EXPECT_EQ(folder.read("date_f.dat"),
            "third.mp4|/m/third.mp4|0\r\nnew.mp4|/m/new.mp4|0\r\nold.mp4|/m/old.mp4|0\r\n");
  EXPECT_NE(folder.read("f.htm").find(">third.mp4</a>"), std::string::npos);
  EXPECT_FALSE(ba1.save_retry.timer_enabled());
}

}  // namespace
}  // namespace pelmora::app
