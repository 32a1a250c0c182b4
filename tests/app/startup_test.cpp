#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "app/configuration.h"
#include "app/settings_store.h"
#include "lists/list_pages.h"
#include "platform/files.h"
#include "platform/headless/headless_platform.h"
#include "support/temp_folder.h"

namespace pelmora::app {
namespace {

using pelmora::testing::TempFolder;

// The main window as start-up sees it: loading and showing are recorded, list pages noted.
class RecordingWindow final : public MainWindowHost {
 public:
  bool is_loaded = false;
  int loads = 0;
  int shows = 0;
  std::vector<std::string> pages;      // "list file -> page path"
  std::vector<int> loads_before_page;  // how many loads had happened when each page was shown

  bool loaded() const override { return is_loaded; }
  void load() override {
    is_loaded = true;
    ++loads;
  }
  void show() override { ++shows; }
  void show_list_page(std::string_view list_file, const std::string& page_path) override {
    pages.push_back(std::string(list_file) + " -> " + page_path);
    loads_before_page.push_back(loads);
  }
};

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    headless.adapters.adapters = {{"lo", true, true, true, "00:00:00:00:00:00"},
                                  {"eth0", true, false, true, "00:1a:2b:3c:4d:5e"}};
  }

  StartupResult start() {
    const StartupContext context{folder.path(),          config,
                                 headless.player_engine, headless.dialogs,
                                 headless.launcher,      headless.adapters,
                                 headless.backend,       window};
    return Main(context);
  }
  std::string setting(std::string_view section, std::string_view key) {
    return settings::read_ini(folder.file("config.dll"), section, key);
  }

  TempFolder folder;
  Configuration config =
      Configuration::load("/nonexistent", [](const char*) -> const char* { return nullptr; });
  headless::HeadlessPlatform headless;
  RecordingWindow window;
};

TEST_F(StartupTest, FirstStartInAnEmptyFolderWritesEveryDefaultAndMakesListsAndPages) {
  EXPECT_EQ(start(), StartupResult::kMainWindowShown);

  EXPECT_EQ(folder.read("config.dll"),
            "[main]\r\nName=Pelmora\r\n"
            "[User]\r\nName=00-1A-2B-3C-4D-5E\r\n"
            "[Ver]\r\nName=3.0\r\n"
            "[S_q]\r\nts=3\r\nquit=2\r\nqvodk=2\r\ns_size=2\r\nh_w=13590\r\nh_h=8790\r\n"
            "s_h=2\r\ns_bo=2\r\ns_jd=2\r\nqvodqi=2\r\ns_pao=2\r\n");
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  EXPECT_EQ(folder.read("date_f.dat"), "\r\n");
  EXPECT_NE(folder.read("c.htm").find("暂无记录"), std::string::npos);
  EXPECT_NE(folder.read("f.htm").find("暂无记录"), std::string::npos);
  EXPECT_TRUE(folder.has("i.gif"));

  // The first page shown loads the window; it is loaded once and shown once.
  ASSERT_EQ(window.pages.size(), 2u);
  EXPECT_EQ(window.pages[0], "date.dat -> " + folder.file("c.htm"));
  EXPECT_EQ(window.pages[1], "date_f.dat -> " + folder.file("f.htm"));
  EXPECT_EQ(window.loads_before_page[0], 1);
  EXPECT_EQ(window.loads, 1);
  EXPECT_EQ(window.shows, 1);
  EXPECT_TRUE(headless.dialogs.shown().empty());
}

TEST_F(StartupTest, LaterStartsRepairBrokenKeysAndKeepGoodOnes) {
  folder.write("config.dll",
               "[main]\r\nName=Pelmora\r\n[Ver]\r\nName=2.9\r\n[S_q]\r\nts=2\r\nquit=\r\n"
               "qvodk=word\r\nh_w=0\r\nh_h=9000\r\ns_pao=1\r\nqvodw=/opt/player/\r\n");
  start();
  EXPECT_EQ(setting("User", "Name"), "00-1A-2B-3C-4D-5E");  // deleted by hand: made anew
  EXPECT_EQ(setting("Ver", "Name"), "3.0");
  EXPECT_EQ(setting("S_q", "ts"), "2");
  EXPECT_EQ(setting("S_q", "quit"), "2");
  EXPECT_EQ(setting("S_q", "qvodk"), "2");
  EXPECT_EQ(setting("S_q", "h_w"), "13590");
  EXPECT_EQ(setting("S_q", "h_h"), "9000");
  EXPECT_EQ(setting("S_q", "s_pao"), "1");
  EXPECT_EQ(setting("S_q", "s_size"), "2");  // absent reads 0 and is repaired
  EXPECT_EQ(setting("S_q", "qvodw"), "/opt/player/");
}

TEST_F(StartupTest, CloseQuestionStateSurvivesOnlyAsOneOrTwo) {
  for (const auto& [stored, expected] : std::vector<std::pair<std::string, std::string>>{
           {"1", "1"}, {"2", "2"}, {"0", "3"}, {"7", "3"}, {"yes", "3"}, {"", "3"}}) {
    settings::write_ini(folder.file("config.dll"), "S_q", "ts", stored);
    start();
    EXPECT_EQ(setting("S_q", "ts"), expected) << "stored " << stored;
  }
}

TEST_F(StartupTest, WithoutAUsableAdapterTheIdentifierIsMadeFromTheTime) {
  // A placeholder address on the first active adapter wins over a real one later.
  headless.adapters.adapters = {{"ppp0", true, false, true, "00:53:45:00:00:00"},
                                {"eth0", true, false, true, "00:1a:2b:3c:4d:5e"}};
  headless.backend.set_local_time({2026, 12, 7, 0, 36, 38});
  start();
  const std::string id = setting("User", "Name");
  ASSERT_EQ(id.size(), 15u);
  EXPECT_EQ(id.substr(0, 12), "202612703638");
}

TEST_F(StartupTest, ListsAreKeptAndBothPagesAreRenderedAnewFromThem) {
  folder.write("date.dat", "7|%u4E2D|l|a|1|2|30\r\n");
  folder.write("date_f.dat", "x|/m/x.mp4|0\r\n");
  // A page left out of step with its list by a run that was killed between the two writes.
  folder.write("f.htm", "old page");
  start();
  EXPECT_EQ(folder.read("date.dat"), "7|%u4E2D|l|a|1|2|30\r\n");
  EXPECT_EQ(folder.read("c.htm"), lists::page_text(folder.read("date.dat"), false));
  EXPECT_EQ(folder.read("f.htm"), lists::page_text(folder.read("date_f.dat"), true));
  EXPECT_NE(folder.read("c.htm").find(">中</a>"), std::string::npos);
  EXPECT_EQ(window.pages.size(), 2u);
}

TEST_F(StartupTest, TemporaryFilesOfEndedRunsAreRemovedAndThoseOfRunningOnesKept) {
  // A process that has ended: its identifier names no running process any more.
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ::waitpid(ended, nullptr, 0);
  const std::string dead = "date.dat.tmp-" + std::to_string(ended) + "-4711";
  const std::string live = "c.htm.tmp-" + std::to_string(::getpid()) + "-12";
  folder.write(dead, "half a list");
  folder.write(live, "being written");
  folder.write("notes.tmp-draft", "the user's");
  start();
  EXPECT_FALSE(folder.has(dead));
  EXPECT_TRUE(folder.has(live));
  EXPECT_TRUE(folder.has("notes.tmp-draft"));
}

// A run killed at any moment of changing its lists leaves each list whole (its old or its new
// text), and the next start leaves no temporary file and no page out of step with its list.
TEST_F(StartupTest, AKilledRunLeavesWholeListsAndTheNextStartBringsThePagesInStep) {
  start();
  std::mt19937 random(2026);
  for (int round = 0; round < 40; ++round) {
    const pid_t run = ::fork();
    ASSERT_GE(run, 0);
    if (run == 0) {
      const lists::ListPlace place{folder.path(), nullptr};
      for (int i = 0;; ++i) {
        const std::string n = std::to_string(i % 7);
        lists::add_local(place, "name" + n, "/m/" + n + ".mp4", 0);
        lists::add_task(place, i % 5, "t" + n, "L", "qvod%3A//" + n, 1, i % 5, 0);
        lists::set_local_pos(place, "/m/" + n + ".mp4", i);
        lists::remove_line(place, lists::kNetworkList, 2);
      }
    }
    ::usleep(1000 + random() % 15000);
    ::kill(run, SIGKILL);
    ::waitpid(run, nullptr, 0);

    for (const char* list : {"date.dat", "date_f.dat"}) {
      const std::string text = folder.read(list);
      ASSERT_TRUE(text.ends_with("\r\n")) << list << " was cut: " << text;
    }
    start();
    for (const std::string& name : platform::files::list_regular_files(folder.path())) {
      EXPECT_EQ(name.find(".tmp-"), std::string::npos) << "left behind: " << name;
    }
    ASSERT_EQ(folder.read("c.htm"), lists::page_text(folder.read("date.dat"), false));
    ASSERT_EQ(folder.read("f.htm"), lists::page_text(folder.read("date_f.dat"), true));
  }
}

// Files an older version or an unpacked copy left readable by others become the user's alone at
// start, and the folder too; the user hears it once, on standard error.
TEST_F(StartupTest, TheProgramsFolderAndFilesAreTheUsersAloneWhateverTheirAge) {
  folder.write("date_f.dat", "a.mp4|/m/a.mp4|0\r\n");
  folder.write("notes.txt", "not the program's");
  for (const char* name : {"date_f.dat", "notes.txt"}) ::chmod(folder.file(name).c_str(), 0644);
  std::filesystem::create_directory(folder.file("Qvod"));
  ::chmod(folder.file("Qvod").c_str(), 0755);
  ::chmod(folder.path().c_str(), 0755);
  ::testing::internal::CaptureStderr();
  start();
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("now the user's alone"),
            std::string::npos);
  const auto mode = [&](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0u;
  };
  for (const char* name : {"config.dll", "date.dat", "date_f.dat", "c.htm", "f.htm"}) {
    EXPECT_EQ(mode(folder.file(name)), 0600u) << name;
  }
  EXPECT_EQ(mode(folder.path()), 0700u);
  EXPECT_EQ(mode(folder.file("Qvod")), 0700u);
  EXPECT_EQ(mode(folder.file("notes.txt")), 0644u);
  EXPECT_EQ(folder.read("date_f.dat"), "a.mp4|/m/a.mp4|0\r\n");
  ::testing::internal::CaptureStderr();
  start();
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(StartupTest, WithoutAPlayerTheUserIsAskedAndNothingIsShown) {
  headless.player_engine.engine_present = false;
  headless.dialogs.answer_next(platform::Answer::kYes);
  EXPECT_EQ(start(), StartupResult::kEndedWithoutPlayer);
  ASSERT_NE(headless.dialogs.last(), nullptr);
  EXPECT_EQ(headless.dialogs.last()->title, "提示：");
  EXPECT_EQ(headless.dialogs.last()->text,
            "程序检测到您的电脑未安装快播(Qvod)播放器，是否要下载Qvod播放器？");
  EXPECT_EQ(headless.launcher.opened_addresses,
            std::vector<std::string>{"http://127.0.0.1:8750/player/"});
  EXPECT_EQ(window.loads, 0);
  EXPECT_FALSE(folder.has("config.dll"));

  headless.dialogs.answer_next(platform::Answer::kNo);
  EXPECT_EQ(start(), StartupResult::kEndedWithoutPlayer);
  EXPECT_EQ(headless.launcher.opened_addresses.size(), 1u);
}

TEST_F(StartupTest, APlayerComponentBesideTheProgramIsRegisteredWithoutAQuestion) {
  headless.player_engine.engine_present = false;
  std::filesystem::create_directory(folder.file("Qvod"));
  folder.write("Qvod/QvodInsert.dll", "");
  EXPECT_EQ(start(), StartupResult::kMainWindowShown);
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_EQ(headless.launcher.registrations,
            std::vector<std::string>{folder.file("Qvod/QvodInsert.dll")});
}

TEST_F(StartupTest, AnUnusableProgramFolderStillShowsTheWindow) {
  // The program folder is a plain file: nothing can be written into it.
  folder.write("not-a-folder", "x");
  TempFolder unused;
  const StartupContext context{folder.file("not-a-folder"),
                               config,
                               headless.player_engine,
                               headless.dialogs,
                               headless.launcher,
                               headless.adapters,
                               headless.backend,
                               window};
  EXPECT_EQ(Main(context), StartupResult::kMainWindowShown);
  EXPECT_EQ(window.loads, 1);
  EXPECT_EQ(window.shows, 1);
  EXPECT_EQ(folder.read("not-a-folder"), "x");
}

TEST_F(StartupTest, AnUnreadableSettingsFileIsNeverReplaced) {
  // A folder where the settings file should be cannot be read as a file and must not be
  // overwritten.
  std::filesystem::create_directory(folder.file("config.dll"));
  start();
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("config.dll")));
  EXPECT_EQ(window.shows, 1);
}

}  // namespace
}  // namespace pelmora::app
