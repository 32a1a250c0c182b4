// A hundred starts of the real program at the same moment, each with a file of its own: one
// window remains and every file reaches it; then a hundred more while that window runs. The
// program runs on a virtual screen of its own (Xvfb) with its own program and runtime folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "support/virtual_screen.h"

extern char** environ;

namespace {

using pelmora::testing::TempFolder;
using Clock = std::chrono::steady_clock;

constexpr int kStarts = 100;

class RacingStarts : public ::testing::Test {
 protected:
  RacingStarts() {
    environment_ = {"DISPLAY=" + (screen_.display().empty() ? ":0" : screen_.display()),
                    "XDG_RUNTIME_DIR=" + folder_.file("run"),
                    "PELMORA_SERVICE_URL=http://127.0.0.1:9/",
                    "PELMORA_SHUTDOWN_COMMAND=true",
                    "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu",
                    "DBUS_SESSION_BUS_ADDRESS=disabled:",
                    "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string text = *variable;
      const std::string name = text.substr(0, text.find('='));
      bool replaced = false;
      for (const std::string& own : environment_) replaced |= own.starts_with(name + "=");
      if (!replaced && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM") {
        environment_.push_back(text);
      }
    }
    ::mkdir(folder_.file("run").c_str(), 0700);
  }

  ~RacingStarts() override {
    for (const pid_t pid : running_) ::kill(pid, SIGKILL);
    for (const pid_t pid : running_) ::waitpid(pid, nullptr, 0);
    // The engine terminal the window started from its player folder outlives it.
    pelmora::testing::end_processes_started_from(folder_.path());
  }

  // Starts the program with `file`; its output goes to the log.
  pid_t start(const std::string& file) {
    std::vector<std::string> arguments = {PELMORA_PROGRAM, "--home", folder_.file("home"), file};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment_) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = folder_.file("log");
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0);
    running_.push_back(pid);
    return pid;
  }

  // Waits until at most `remaining` of the starts run (the window keeps running); returns how
  // many of those that ended ended with 0.
  int wait_ended(std::vector<pid_t>& starts, std::size_t remaining, std::chrono::seconds limit) {
    int delivered = 0;
    const auto deadline = Clock::now() + limit;
    for (;;) {
      std::vector<pid_t> left;
      for (const pid_t pid : starts) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
          std::erase(running_, pid);
          if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ++delivered;
        } else {
          left.push_back(pid);
        }
      }
      starts = left;
      if (starts.size() <= remaining || Clock::now() > deadline) return delivered;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // The files of the local list that start with `prefix`.
  std::set<std::string> listed(const std::string& prefix) {
    std::set<std::string> files;
    const std::string list = folder_.read("home/date_f.dat");
    for (std::size_t at = list.find(prefix); at != std::string::npos;
         at = list.find(prefix, at + 1)) {
      files.insert(list.substr(at, list.find('|', at) - at));
    }
    return files;
  }

  template <typename Done>
  bool wait_for(Done done, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
  }

  TempFolder folder_;
  pelmora::testing::VirtualScreen screen_{"1280x800x24"};
  std::vector<std::string> environment_;
  std::vector<pid_t> running_;
};

TEST_F(RacingStarts, EveryCommandArrivesWithAndWithoutAWindowRunning) {
  // No window runs: one start becomes it, the others hand their files to it.
  std::vector<pid_t> cold;
  for (int i = 0; i < kStarts; ++i) cold.push_back(start("/media/race/a" + std::to_string(i)));
  const int handed_over = wait_ended(cold, 1, std::chrono::seconds(180));
  ASSERT_EQ(cold.size(), 1u) << "starts still running\n" << folder_.read("log");
  // The one left is the window: it keeps running.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  ASSERT_EQ(::waitpid(cold[0], nullptr, WNOHANG), 0) << folder_.read("log");
  EXPECT_EQ(handed_over, kStarts - 1) << folder_.read("log");
  EXPECT_TRUE(wait_for([&] { return listed("/media/race/a").size() == kStarts; },
                       std::chrono::seconds(120)))
      << listed("/media/race/a").size() << " of " << kStarts << " arrived\n"
      << folder_.read("log");

  // The window runs: a hundred more at once.
  std::vector<pid_t> warm;
  for (int i = 0; i < kStarts; ++i) warm.push_back(start("/media/race/b" + std::to_string(i)));
  EXPECT_EQ(wait_ended(warm, 0, std::chrono::seconds(180)), kStarts) << folder_.read("log");
  EXPECT_TRUE(warm.empty());
  EXPECT_TRUE(wait_for([&] { return listed("/media/race/b").size() == kStarts; },
                       std::chrono::seconds(120)))
      << listed("/media/race/b").size() << " of " << kStarts << " arrived\n"
      << folder_.read("log");
}

}  // namespace
