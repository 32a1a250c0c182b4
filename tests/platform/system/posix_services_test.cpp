#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "platform/program_folder.h"
#include "platform/system/command_power.h"
#include "platform/system/ifaddrs_adapters.h"
#include "platform/system/proc_process_table.h"
#include "platform/system/spawn_launcher.h"
#include "platform/system/termination_signals.h"
#include "support/temp_folder.h"

namespace pelmora::platform {
namespace {

using pelmora::testing::TempFolder;

// Waits up to two seconds for a file that a started program makes.
bool appears(const std::string& path) {
  for (int waited = 0; waited < 2000; waited += 20) {
    if (files::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(ProcProcessTable, ListsThisProcessByItsExecutableName) {
  ProcProcessTable table;
  const auto processes = table.list();
  const auto me = std::find_if(processes.begin(), processes.end(),
                               [](const ProcessInfo& p) { return p.pid == ::getpid(); });
  ASSERT_NE(me, processes.end());
  EXPECT_EQ(me->exe_name, "platform_system_tests");
  EXPECT_TRUE(me->exe_path.ends_with("/platform_system_tests"));
}

TEST(ProcProcessTable, NamesAProgramStartedThroughALinkByTheLinksPath) {
  // A program of a name no other test looks for, in one folder, and a link to it in another.
  TempFolder folder;
  std::filesystem::create_directory(folder.file("real"));
  std::filesystem::copy_file("/usr/bin/sleep", folder.file("real/pelmora-napper"));
  const std::string link = folder.file("pelmora-napper");
  ASSERT_EQ(::symlink(folder.file("real/pelmora-napper").c_str(), link.c_str()), 0);
  ProcProcessTable table;
  ASSERT_TRUE(spawn_detached({link, "30"}));
  ProcessInfo found;
  for (int tries = 0; tries < 100 && found.pid == 0; ++tries) {
    for (const auto& process : table.list()) {
      if (process.exe_path == link) found = process;
    }
    if (found.pid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(found.pid, 0) << "the program started through the link is not named by it";
  EXPECT_EQ(found.exe_name, "pelmora-napper");
  EXPECT_TRUE(table.terminate(found.pid));
}

TEST(ProcProcessTable, LeavesOutProgramsOfAnotherSessionOfTheUser) {
  // Two copies of one program, one started with this program's runtime folder, one with another.
  TempFolder folder;
  std::filesystem::copy_file("/usr/bin/sleep", folder.file("pelmora-ours"));
  std::filesystem::copy_file("/usr/bin/sleep", folder.file("pelmora-theirs"));
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string ours = std::string("XDG_RUNTIME_DIR=") + (runtime != nullptr ? runtime : "");
  const std::string theirs = "XDG_RUNTIME_DIR=" + folder.file("elsewhere");
  std::vector<pid_t> started;
  for (const auto& [program, environment] :
       {std::pair{folder.file("pelmora-ours"), ours}, {folder.file("pelmora-theirs"), theirs}}) {
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("30"), nullptr};
    char* envp[] = {const_cast<char*>(environment.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp), 0);
    started.push_back(pid);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ProcProcessTable table;
  std::vector<std::string> names;
  for (const auto& process : table.list()) names.push_back(process.exe_name);
  EXPECT_NE(std::find(names.begin(), names.end(), "pelmora-ours"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "pelmora-theirs"), names.end());
  for (pid_t pid : started) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
}

TEST(ProcProcessTable, EndsAProcessOfThisUserButNeverItself) {
  ProcProcessTable table;
  EXPECT_FALSE(table.terminate(::getpid()));
  EXPECT_FALSE(table.terminate(1));
  ASSERT_TRUE(spawn_detached({"sleep", "30"}));
  int pid = 0;
  for (int tries = 0; tries < 100 && pid == 0; ++tries) {
    for (const auto& process : table.list()) {
      if (process.exe_name == "sleep") pid = process.pid;
    }
    if (pid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_NE(pid, 0);
  EXPECT_TRUE(table.terminate(pid));
  for (const auto& process : table.list()) EXPECT_NE(process.pid, pid);
}

TEST(SpawnLauncher, StartsProgramsWithArgumentsAsTheyAreNeverThroughAShell) {
  TempFolder folder;
  SpawnLauncher launcher;
  // A blank and a ";" in the argument stay part of the file name.
  const std::string odd = folder.file("a b;touch injected $(touch injected)");
  ASSERT_TRUE(launcher.start_program("/usr/bin/touch", {odd}));
  EXPECT_TRUE(appears(odd));
  EXPECT_FALSE(files::exists(folder.file("injected")));
  EXPECT_FALSE(launcher.start_program(folder.file("no-such-program"), {}));
  EXPECT_TRUE(launcher.register_component(folder.file("x.dll")));
}

// The termination signals in a process of their own: the first one only asks (the descriptor
// turns readable), a second SIGTERM or SIGINT ends at once, SIGHUP never does, and a program
// that has not ended when the grace runs out is ended.
TEST(TerminationSignals, TheFirstAsksTheSecondEndsAndTheGraceIsKept) {
  struct Case {
    std::vector<int> signals;
    unsigned grace;
    int status;  // from waitpid after the signals and a wait; -1 while it still runs
  };
  const Case cases[] = {
      {{SIGTERM}, 30, -1},
      {{SIGTERM, SIGTERM}, 30, (128 + SIGTERM) << 8},
      {{SIGINT, SIGINT}, 30, (128 + SIGINT) << 8},
      {{SIGTERM, SIGHUP}, 30, -1},
      {{SIGHUP}, 1, (128 + SIGALRM) << 8},
  };
  for (const Case& c : cases) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      posix::watch_termination_signals(c.grace);
      char byte = 'r';
      pollfd asked{posix::termination_fd(), POLLIN, 0};
      if (::write(report[1], &byte, 1) != 1) ::_exit(90);
      while (::poll(&asked, 1, -1) != 1) {  // a signal's handler interrupts the wait
      }
      byte = static_cast<char>(posix::termination_signal());
      if (::write(report[1], &byte, 1) != 1) ::_exit(91);
      for (;;) ::pause();
    }
    ::close(report[1]);
    char byte = 0;
    ASSERT_EQ(::read(report[0], &byte, 1), 1);
    for (const int signal_number : c.signals) {
      ::kill(child, signal_number);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(::read(report[0], &byte, 1), 1);
    EXPECT_EQ(byte, c.signals.front());
    std::this_thread::sleep_for(std::chrono::milliseconds(c.grace < 5 ? 1500 : 200));
    int status = -1;
    if (::waitpid(child, &status, WNOHANG) != child) status = -1;
    EXPECT_EQ(status, c.status) << c.signals.size() << " signals, first " << c.signals.front();
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(report[0]);
  }
}

TEST(CommandPower, RunsTheConfiguredCommandSplitAtBlanks) {
  TempFolder folder;
  CommandPower power("touch \"" + folder.file("shut down") + "\"");
  ASSERT_TRUE(power.shutdown());
  EXPECT_TRUE(appears(folder.file("shut down")));
  EXPECT_EQ(split_command("a  \"b c\" d"), (std::vector<std::string>{"a", "b c", "d"}));
  EXPECT_FALSE(CommandPower("").shutdown());
}

TEST(IfaddrsAdapters, ListsTheLoopbackInterfaceAsLoopback) {
  IfaddrsAdapters adapters;
  const auto list = adapters.list();
  const auto lo = std::find_if(list.begin(), list.end(),
                               [](const NetworkAdapter& a) { return a.name == "lo"; });
  ASSERT_NE(lo, list.end());
  EXPECT_TRUE(lo->loopback);
  EXPECT_TRUE(lo->has_address);
}

TEST(ProgramFolder, AnOverrideIsUsedAndCreatedPrivate) {
  TempFolder folder;
  const std::string home = folder.file("home/pelmora");
  EXPECT_EQ(resolve_program_folder(home), home);
  EXPECT_TRUE(files::is_directory(home));
  struct stat info {};
  ASSERT_EQ(::stat(home.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_FALSE(executable_folder().empty());
}

TEST(ProgramFolder, AFileInPlaceOfTheFolderGivesWayToTheDataFolderAndSaysSo) {
  TempFolder folder;
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string kept = old != nullptr ? old : "";
  ::setenv("XDG_DATA_HOME", folder.file("data").c_str(), 1);
  folder.write("home", "a file where the folder should be");
  ::testing::internal::CaptureStderr();
  const std::string chosen = resolve_program_folder(folder.file("home"));
  const std::string said = ::testing::internal::GetCapturedStderr();
  if (old != nullptr) {
    ::setenv("XDG_DATA_HOME", kept.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
  EXPECT_EQ(chosen, folder.file("data/pelmora"));
  EXPECT_TRUE(files::is_writable_directory(chosen));
  EXPECT_NE(said.find(folder.file("home")), std::string::npos) << said;
  EXPECT_NE(said.find("a file is in its place"), std::string::npos) << said;
  EXPECT_EQ(folder.read("home"), "a file where the folder should be");
}

}  // namespace
}  // namespace pelmora::platform
