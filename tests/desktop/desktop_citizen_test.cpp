// The program as the desktop meets it: the real `pelmora` in its own processes on a virtual
// screen, with a session bus of the test's own. The desktop's media controls drive it over the
// bus, a stand-in screen saver service (python3-dbusmock) records the inhibitions it asks for,
// and later starts run as the desktop entry's Exec line runs them.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QThread>
#include <QtCore/QUrl>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/media_clip.h"
#include "support/temp_folder.h"

namespace pelmora {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TempFolder;

template <typename Done>
bool wait_until(Done done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QThread::msleep(100);
  }
  return true;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A child process ended (terminated, then killed) when the owner goes.
class Child {
 public:
  Child(const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program, arguments);
    process_.waitForStarted(5000);
  }
  ~Child() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(2000);
    }
  }
  QProcess& process() { return process_; }
  bool running() { return process_.state() == QProcess::Running; }
  // Everything it printed so far.
  std::string output() {
    output_ += process_.readAll().toStdString();
    return output_;
  }

 private:
  QProcess process_;
  std::string output_;
};

// A bus daemon of the test's own (used as the session bus, or as the system bus).
class PrivateBus {
 public:
  PrivateBus()
      : daemon_("dbus-daemon", {"--session", "--nofork", "--print-address=1"},
                QProcessEnvironment::systemEnvironment()) {
    QProcess& process = daemon_.process();
    wait_until(
        [&] {
          process.waitForReadyRead(50);
          return process.canReadLine() || process.state() != QProcess::Running;
        },
        5000);
    address_ = QString::fromUtf8(process.readLine()).trimmed();
  }
  const QString& address() const { return address_; }

 private:
  Child daemon_;
  QString address_;
};

// Xvfb on the first free display number from `first`; empty when none could be started.
std::string start_display(int first, std::unique_ptr<Child>& server) {
  for (int number = first; number < first + 49; ++number) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
    server = std::make_unique<Child>(
        "Xvfb",
        QStringList{QString(":%1").arg(number), "-screen", "0", "1600x1000x24", "-nolisten", "tcp"},
        QProcessEnvironment::systemEnvironment());
    if (wait_until([&] { return fs::exists(socket); }, 5000)) return ":" + std::to_string(number);
    server.reset();
  }
  return {};
}

// Xvfb on the first free display number, for the life of the test program.
std::string virtual_display() {
  static std::string display;
  static std::unique_ptr<Child> server;
  if (!display.empty()) return display;
  if (const char* given = std::getenv("DISPLAY"); given != nullptr && *given != '\0') {
    return display = given;
  }
  return display = start_display(141, server);
}

class DesktopCitizen : public ::testing::Test {
 protected:
  void SetUp() override {
    if (virtual_display().empty()) GTEST_SKIP() << "no display and no Xvfb to make one";
    if (session.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    std::string why;
    clip = folder.file("媒体 one.mkv");
    if (!pelmora::testing::make_test_clip(clip, 30, &why)) GTEST_SKIP() << why;
    fs::create_directories(folder.file("run"));
    fs::permissions(folder.file("run"), fs::perms::owner_all);
    fs::create_directories(folder.file("home"));
  }

  QProcessEnvironment environment(const QString& system_bus = "unix:path=/nonexistent") {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", QString::fromStdString(virtual_display()));
    env.insert("DBUS_SESSION_BUS_ADDRESS", session.address());
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", system_bus);
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(folder.file("run")));
    env.insert("PELMORA_SERVICE_URL", "http://127.0.0.1:9/");
    // Only local files play here: no engine terminal, which would outlive the test.
    env.insert("PELMORA_ENGINE_PROGRAM", "/nonexistent/QvodTerminal.exe");
    env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    env.remove("QT_QPA_PLATFORM");
    return env;
  }
  // A start of the program as the desktop entry's Exec line makes it ("pelmora %U").
  std::unique_ptr<Child> start(const QStringList& arguments, const QProcessEnvironment& env) {
    QStringList all{"--home", QString::fromStdString(folder.file("home"))};
    all += arguments;
    return std::make_unique<Child>(PELMORA_PROGRAM, all, env);
  }
  // busctl on the test's session bus; its output, trimmed.
  std::string busctl(const QStringList& arguments, const QString& address = {}) {
    QProcess process;
    process.start(
        "busctl",
        QStringList{"--address=" + (address.isEmpty() ? session.address() : address)} + arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput().trimmed().toStdString() +
           process.readAllStandardError().trimmed().toStdString();
  }
  std::string player_property(const QString& name) {
    return busctl({"get-property", "org.mpris.MediaPlayer2.pelmora", "/org/mpris/MediaPlayer2",
                   "org.mpris.MediaPlayer2.Player", name});
  }
  std::string player_call(const QString& method, const QStringList& arguments = {}) {
    return busctl(QStringList{"call", "org.mpris.MediaPlayer2.pelmora", "/org/mpris/MediaPlayer2",
                              "org.mpris.MediaPlayer2.Player", method} +
                  arguments);
  }
  bool status_becomes(const std::string& status, int ms = 30000) {
    return wait_until([&] { return player_property("PlaybackStatus") == "s \"" + status + "\""; },
                      ms);
  }
  bool on_bus() {
    return wait_until(
        [&] {
          return busctl({"list", "--no-pager"}).find("org.mpris.MediaPlayer2.pelmora") !=
                 std::string::npos;
        },
        60000);
  }

  TempFolder folder;
  PrivateBus session;
  std::string clip;
};

// A text as busctl prints it: bytes outside ASCII as octal escapes.
std::string as_busctl(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\%03o", c);
      out += escaped;
    }
  }
  return out;
}

// How often the screen saver stand-in was asked to inhibit and to release.
int count_calls(const std::string& log, const char* method) {
  const QRegularExpression pattern(QString("(^|\\s)%1\\s").arg(method),
                                   QRegularExpression::MultilineOption);
  int count = 0;
  auto match = pattern.globalMatch(QString::fromStdString(log));
  while (match.hasNext()) {
    match.next();
    ++count;
  }
  return count;
}

// The processes /proc lists, and the sockets and pipes a process holds beside its standard
// three (a process that holds one of another's inherited it).
struct Process {
  pid_t pid, parent;
  bool running;  // not a zombie
  std::string command;
};
std::vector<Process> processes() {
  std::vector<Process> all;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) continue;
    const std::string stat = read_file(entry.path() / "stat");
    const auto end = stat.rfind(')');
    if (end == std::string::npos || stat.size() < end + 5) continue;
    all.push_back({std::atoi(stat.c_str()), std::atoi(stat.c_str() + end + 4), stat[end + 2] != 'Z',
                   read_file(entry.path() / "cmdline")});
  }
  return all;
}
std::set<std::string> channels_of(pid_t pid) {
  std::set<std::string> channels;
  std::error_code error;
  for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
    if (std::stoi(fd.path().filename()) <= 2) continue;  // standard input, output and error
    const std::string target = fs::read_symlink(fd.path(), error).string();
    if (target.starts_with("socket:") || target.starts_with("pipe:")) channels.insert(target);
  }
  return channels;
}

// The session ends while a clip plays, as logout and shutdown end it: a termination signal, or
// the X server going away. Each time the program ends through its own exit: the position is in
// the local list, the engine's terminal ("qvodk" 2) and the browser engine's helpers are gone
// within seconds, and the terminal held no socket or pipe of the program's.
TEST_F(DesktopCitizen, TheSessionsEndWritesThePositionAndLeavesNoHelperBehind) {
  const std::string terminal_path = folder.file("home/Qvod/QvodTerminal.exe");
  for (const int ending : {SIGTERM, SIGINT, SIGHUP, 0}) {
    SCOPED_TRACE(ending == 0 ? "the X server ends" : strsignal(ending));
    std::unique_ptr<Child> own_server;
    QProcessEnvironment env = environment();
    env.insert("PELMORA_ENGINE_PROGRAM", PELMORA_ENGINE_TERMINAL);
    env.insert("QTWEBENGINE_REMOTE_DEBUGGING",
               QString("127.0.0.1:%1").arg(20000 + getpid() % 20000));
    if (ending == 0) {
      const std::string display = start_display(191, own_server);
      ASSERT_FALSE(display.empty());
      env.insert("DISPLAY", QString::fromStdString(display));
    }
    auto program = start({QString::fromStdString(clip)}, env);
    ASSERT_TRUE(on_bus()) << program->output();
    ASSERT_TRUE(status_becomes("Playing")) << program->output();
    ASSERT_TRUE(wait_until(
        [&] {
          const std::string position = player_property("Position");
          return position.size() > 2 && std::stoll(position.substr(2)) >= 4000000;
        },
        20000));
    const pid_t pid = static_cast<pid_t>(program->process().processId());
    std::vector<pid_t> helpers{pid};
    pid_t terminal = 0;
    ASSERT_TRUE(wait_until(
        [&] {
          for (const Process& p : processes()) {
            if (p.command.rfind(terminal_path + '\0', 0) == 0) terminal = p.pid;
          }
          return terminal != 0;
        },
        10000));
    for (std::size_t i = 0; i < helpers.size(); ++i) {
      for (const Process& p : processes()) {
        if (p.parent == helpers[i]) helpers.push_back(p.pid);
      }
    }
    std::set<std::string> shared;
    const std::set<std::string> own = channels_of(pid);
    for (const std::string& channel : channels_of(terminal)) {
      if (own.contains(channel)) shared.insert(channel);
    }
    EXPECT_TRUE(shared.empty()) << *shared.begin();

    if (ending == 0) {
      own_server.reset();
    } else {
      ::kill(pid, ending);
    }
    EXPECT_TRUE(program->process().waitForFinished(10000)) << program->output();
    const std::string list = read_file(folder.file("home/date_f.dat"));
    const std::string record = "媒体 one.mkv|" + clip + "|";
    ASSERT_EQ(list.rfind(record, 0), 0U) << list;
    EXPECT_GE(std::stoi(list.substr(record.size())), 3) << list << program->output();
    helpers.push_back(terminal);
    const auto left = [&] {
      const std::vector<Process> now = processes();
      return std::count_if(now.begin(), now.end(), [&](const Process& p) {
        return p.running && std::find(helpers.begin(), helpers.end(), p.pid) != helpers.end();
      });
    };
    EXPECT_TRUE(wait_until([&] { return left() == 0; }, 5000)) << left() << " helpers left";
    ::kill(terminal, SIGKILL);
  }

  // Killed outright (or crashed), the program ends nothing itself: the terminal ends on its own
  // when "qvodk" says the engine's programs end with the program, and runs on when it says keep.
  for (const char keep : {'2', '1'}) {
    SCOPED_TRACE(std::string("qvodk ") + keep);
    std::string settings = read_file(folder.file("home/config.dll"));
    const std::size_t at = settings.find("qvodk=");
    ASSERT_NE(at, std::string::npos) << settings;
    settings[at + 6] = keep;
    std::ofstream(folder.file("home/config.dll"), std::ios::binary) << settings;
    QProcessEnvironment env = environment();
    env.insert("PELMORA_ENGINE_PROGRAM", PELMORA_ENGINE_TERMINAL);
    auto program = start({}, env);
    pid_t terminal = 0;
    const auto runs = [&] {
      for (const Process& p : processes()) {
        if (p.running && p.command.rfind(terminal_path + '\0', 0) == 0) return p.pid;
      }
      return 0;
    };
    ASSERT_TRUE(wait_until([&] { return (terminal = runs()) != 0; }, 30000)) << program->output();
    ::kill(static_cast<pid_t>(program->process().processId()), SIGKILL);
    program->process().waitForFinished(5000);
    if (keep == '2') {
      EXPECT_TRUE(wait_until([&] { return runs() != terminal; }, 5000));
    } else {
      wait_until([] { return false; }, 3000);
      EXPECT_EQ(runs(), terminal);
    }
    ::kill(terminal, SIGKILL);
  }
}

TEST_F(DesktopCitizen, MediaControlsDriveTheTransportBarAndTheScreenStaysAwakeWhilePlaying) {
  const std::string log = folder.file("screensaver.log");
  QProcessEnvironment mock_env = QProcessEnvironment::systemEnvironment();
  mock_env.insert("DBUS_SESSION_BUS_ADDRESS", session.address());
  Child screensaver(
      "/usr/bin/python3",
      {"-m", "dbusmock", "--template", PELMORA_SOURCE_DIR "/tests/desktop/screensaver_mock.py",
       "-l", QString::fromStdString(log)},
      mock_env);
  ASSERT_TRUE(wait_until(
      [&] {
        return busctl({"list", "--no-pager"}).find("org.freedesktop.ScreenSaver") !=
               std::string::npos;
      },
      10000))
      << screensaver.output();

  auto program = start({QString::fromStdString(clip)}, environment());
  ASSERT_TRUE(on_bus()) << program->output();
  ASSERT_TRUE(status_becomes("Playing")) << player_property("PlaybackStatus") << program->output();
  EXPECT_TRUE(wait_until([&] { return count_calls(read_file(log), "Inhibit") == 1; }, 5000))
      << read_file(log);
  // The length follows as soon as the player knows it.
  std::string metadata;
  wait_until(
      [&] {
        metadata = player_property("Metadata");
        return metadata.find("mpris:length") != std::string::npos;
      },
      5000);
  EXPECT_NE(metadata.find(as_busctl("\"xesam:title\" s \"媒体 one.mkv\"")), std::string::npos)
      << metadata;
  EXPECT_NE(metadata.find("\"mpris:length\" x 30000000"), std::string::npos) << metadata;
  EXPECT_EQ(busctl({"get-property", "org.mpris.MediaPlayer2.pelmora", "/org/mpris/MediaPlayer2",
                    "org.mpris.MediaPlayer2", "Identity"}),
            "s \"Pelmora\"");

  // Pause and play through the transport bar's own button.
  player_call("Pause");
  ASSERT_TRUE(status_becomes("Paused", 5000));
  EXPECT_TRUE(wait_until([&] { return count_calls(read_file(log), "UnInhibit") == 1; }, 5000))
      << read_file(log);
  player_call("PlayPause");
  ASSERT_TRUE(status_becomes("Playing", 10000));
  EXPECT_TRUE(wait_until([&] { return count_calls(read_file(log), "Inhibit") == 2; }, 5000));

  // Seeking and volume as the bars do them.
  player_call("SetPosition", {"ox", "/org/mpris/MediaPlayer2/TrackList/NoTrack", "1000000"});
  player_call("Seek", {"x", "12000000"});
  EXPECT_TRUE(wait_until(
      [&] {
        const std::string position = player_property("Position");
        return position.size() > 2 && std::stoll(position.substr(2)) >= 12000000;
      },
      5000))
      << player_property("Position");
  busctl({"set-property", "org.mpris.MediaPlayer2.pelmora", "/org/mpris/MediaPlayer2",
          "org.mpris.MediaPlayer2.Player", "Volume", "d", "0.3"});
  EXPECT_TRUE(wait_until([&] { return player_property("Volume") == "d 0.3"; }, 5000))
      << player_property("Volume");

  // Stop keeps the resume position in the local list, as the stop button does (the position
  // the status monitor read at its last tick).
  wait_until([] { return false; }, 1500);
  player_call("Stop");
  ASSERT_TRUE(status_becomes("Stopped", 5000));
  EXPECT_TRUE(wait_until([&] { return count_calls(read_file(log), "UnInhibit") == 2; }, 5000));
  const std::string list = read_file(folder.file("home/date_f.dat"));
  const std::string record = "媒体 one.mkv|" + clip + "|";
  ASSERT_NE(list.find(record), std::string::npos) << list;
  EXPECT_GE(std::stoi(list.substr(list.find(record) + record.size())), 12) << list;

  // Playing again, then Quit: the exit routine ends the program and the screen may sleep again.
  player_call("Play");
  ASSERT_TRUE(status_becomes("Playing", 10000));
  busctl({"call", "org.mpris.MediaPlayer2.pelmora", "/org/mpris/MediaPlayer2",
          "org.mpris.MediaPlayer2", "Quit"});
  EXPECT_TRUE(program->process().waitForFinished(20000)) << program->output();
  const std::string calls = read_file(log);
  EXPECT_EQ(count_calls(calls, "Inhibit"), 3) << calls;
  EXPECT_EQ(count_calls(calls, "UnInhibit"), 3) << calls;
}

TEST_F(DesktopCitizen, OpenWithHandsFilesAndLinksToTheRunningWindow) {
  auto first = start({}, environment());
  ASSERT_TRUE(on_bus()) << first->output();
  // A file as a file manager hands it over: a file:// address with escapes.
  const QString address =
      QUrl::fromLocalFile(QString::fromStdString(clip)).toString(QUrl::FullyEncoded);
  ASSERT_TRUE(address.contains("%"));
  auto second = start({address}, environment());
  ASSERT_TRUE(second->process().waitForFinished(20000)) << second->output();
  EXPECT_TRUE(status_becomes("Playing")) << first->output();
  EXPECT_NE(player_property("Metadata").find(as_busctl("\"xesam:title\" s \"媒体 one.mkv\"")),
            std::string::npos);
  EXPECT_EQ(read_file(folder.file("home/date_f.dat")).rfind("媒体 one.mkv|" + clip + "|0", 0), 0U);

  // A qvod:// link as a browser hands it over, with the slash it appends: the window stops the
  // clip (keeping its place in the list) and takes the link as its next item.
  EXPECT_NE(player_property("Metadata").find("/org/pelmora/Pelmora/Track/1"), std::string::npos);
  wait_until([] { return false; }, 2500);  // a few ticks of playing
  const std::string link = "qvod://1234|0123456789abcdef0123456789abcdef01234567|第1集.mp4|";
  auto third = start({QString::fromStdString(link + "/")}, environment());
  ASSERT_TRUE(third->process().waitForFinished(20000)) << third->output();
  EXPECT_TRUE(wait_until(
      [&] {
        return player_property("Metadata").find("/org/pelmora/Pelmora/Track/2") !=
               std::string::npos;
      },
      10000))
      << player_property("Metadata");
  const std::string list = read_file(folder.file("home/date_f.dat"));
  const std::string record = "媒体 one.mkv|" + clip + "|";
  ASSERT_EQ(list.rfind(record, 0), 0U) << list;
  EXPECT_GT(std::stoi(list.substr(record.size())), 0) << list;
  EXPECT_TRUE(first->running());
}

TEST_F(DesktopCitizen, WithoutAScreenSaverServiceLogindsIdleLockIsHeld) {
  PrivateBus system;
  ASSERT_FALSE(system.address().isEmpty());
  QProcessEnvironment mock_env = QProcessEnvironment::systemEnvironment();
  mock_env.insert("DBUS_SYSTEM_BUS_ADDRESS", system.address());
  Child logind("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind"},
               mock_env);
  const auto inhibitors = [&] {
    return busctl({"call", "org.freedesktop.login1", "/org/freedesktop/login1",
                   "org.freedesktop.login1.Manager", "ListInhibitors"},
                  system.address());
  };
  ASSERT_TRUE(wait_until([&] { return inhibitors().rfind("a(ssssuu)", 0) == 0; }, 10000))
      << inhibitors() << logind.output();

  auto program = start({QString::fromStdString(clip)}, environment(system.address()));
  ASSERT_TRUE(on_bus()) << program->output();
  ASSERT_TRUE(status_becomes("Playing")) << program->output();
  const std::string delay = "\"shutdown:sleep\" \"Pelmora\"";
  EXPECT_TRUE(wait_until(
      [&] {
        const std::string held = inhibitors();
        return held.find("\"idle\" \"Pelmora\"") != std::string::npos &&
               held.find(delay) != std::string::npos;
      },
      5000))
      << inhibitors();
  // A person pauses what they see playing (the desktop names an item that is still being
  // prepared "Playing" too, and the play / pause button does nothing to it then), here after a
  // second and a half, so that the position written at the end is not 0 (whole seconds).
  ASSERT_TRUE(wait_until(
      [&] {
        const std::string position = player_property("Position");
        return position.size() > 2 && std::stoll(position.substr(2)) > 1500000;
      },
      10000))
      << player_property("Position");
  player_call("Pause");
  ASSERT_TRUE(status_becomes("Paused", 5000));
  // The idle lock ends when the program closes the descriptor logind gave it; the paused item's
  // position still waits to be written, so a shutdown still waits for it.
  EXPECT_TRUE(wait_until([&] { return inhibitors().rfind("a(ssssuu) 1 ", 0) == 0; }, 5000))
      << inhibitors();
  EXPECT_NE(inhibitors().find(delay), std::string::npos) << inhibitors();

  // logind announces the shutdown: the program ends through its exit and lets the lock go.
  busctl({"call", "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
          "EmitSignal", "sssav", "org.freedesktop.login1.Manager", "PrepareForShutdown", "b", "1",
          "b", "true"},
         system.address());
  EXPECT_TRUE(program->process().waitForFinished(10000)) << program->output();
  EXPECT_EQ(inhibitors(), "a(ssssuu) 0");
  const std::string list = read_file(folder.file("home/date_f.dat"));
  EXPECT_NE(list.find("媒体 one.mkv|" + clip + "|"), std::string::npos) << list;
  EXPECT_EQ(list.find("媒体 one.mkv|" + clip + "|0"), std::string::npos) << list;
}

}  // namespace
}  // namespace pelmora
