#include "platform/desktop/local_instance_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QThread>
#include <cstdlib>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

namespace pelmora::platform {
namespace {

using pelmora::testing::TempFolder;

QCoreApplication& application() {
  static int argc = 1;
  static char name[] = "platform_desktop_tests";
  static char* argv[] = {name, nullptr};
  static auto app = std::make_unique<QCoreApplication>(argc, argv);
  return *app;
}

// Runs the event loop until `done` holds or five seconds pass.
template <typename Done>
bool run_until(Done done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// A separate process of the probe program.
class Probe {
 public:
  Probe(const std::string& folder, const QStringList& arguments) {
    process_.start(PELMORA_CHANNEL_PROBE, QStringList{QString::fromStdString(folder)} + arguments);
    process_.waitForStarted(5000);
  }
  ~Probe() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  int exit_code() {
    process_.waitForFinished(30000);
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }
  // The next line the probe prints, or empty after ten seconds.
  std::string line() {
    QElapsedTimer timer;
    timer.start();
    while (!process_.canReadLine() && timer.elapsed() < 10000) process_.waitForReadyRead(100);
    return process_.readLine().trimmed().toStdString();
  }
  // What the probe wrote to standard error so far.
  std::string errors() {
    errors_ += process_.readAllStandardError().toStdString();
    return errors_;
  }
  void crash() {
    process_.kill();  // SIGKILL: no clean-up runs
    process_.waitForFinished(5000);
  }

 private:
  QProcess process_;
  std::string errors_;
};

class ChannelTest : public ::testing::Test {
 protected:
  ChannelTest() { application(); }
  TempFolder folder;
  std::string channel_folder = folder.file("run");
};

TEST_F(ChannelTest, ASecondStartHandsItsCommandLineToTheFirstAndEnds) {
  LocalInstanceChannel first("Pelmora|BA1", channel_folder);
  ASSERT_TRUE(first.claim());
  std::vector<std::string> received;
  first.listen([&](const std::string& command) { received.push_back(command); });

  const std::string command = "\"/media/电影 one/a b.rmvb\"";
  Probe second(channel_folder, {"send", QString::fromStdString(command)});
  ASSERT_TRUE(run_until([&] { return !received.empty(); }));
  EXPECT_EQ(received, std::vector<std::string>{command});
  EXPECT_EQ(second.exit_code(), 0);

  Probe empty(channel_folder, {"send", ""});
  ASSERT_TRUE(run_until([&] { return received.size() == 2; }));
  EXPECT_EQ(received[1], "");
  EXPECT_EQ(empty.exit_code(), 0);
}

// Another program of the user holds 300 connections open without sending anything: a later
// start is still taken at once, not after the idle ones have timed out (5 s).
TEST_F(ChannelTest, IdleConnectionsDoNotDelayALaterStart) {
  LocalInstanceChannel first("Pelmora|BA1", channel_folder);
  ASSERT_TRUE(first.claim());
  std::vector<std::string> received;
  first.listen([&](const std::string& command) { received.push_back(command); });
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  first.socket_path().copy(address.sun_path, sizeof address.sun_path - 1);
  std::vector<int> idle;
  for (int i = 0; i < 300; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    idle.push_back(fd);
  }
  QThread::msleep(200);  // all of them taken by the listening thread
  QElapsedTimer timer;
  timer.start();
  Probe later(channel_folder, {"send", "/media/a.mp4"});
  ASSERT_TRUE(run_until([&] { return !received.empty(); }));
  EXPECT_LT(timer.elapsed(), 2500);
  EXPECT_EQ(later.exit_code(), 0);
  for (const int fd : idle) ::close(fd);
}

TEST_F(ChannelTest, OnlyOneStartIsTheFirst) {
  LocalInstanceChannel first("Pelmora|BA1", channel_folder);
  LocalInstanceChannel second("Pelmora|BA1", channel_folder);
  EXPECT_TRUE(first.claim());
  EXPECT_FALSE(second.claim());
  // A first instance that never takes the command: the later start says so and fails.
  Probe late(channel_folder, {"send", "x", "300"});
  EXPECT_EQ(late.exit_code(), 1);
  EXPECT_NE(late.errors().find("did not take the command"), std::string::npos) << late.errors();
}

TEST_F(ChannelTest, AStartWaitingOnAnInstanceThatDiesBecomesTheFirst) {
  Probe holder(channel_folder, {"hold"});
  ASSERT_EQ(holder.line(), "ready");
  Probe waiting(channel_folder, {"send", "/media/a.mp4", "20000"});
  QThread::msleep(300);
  holder.crash();
  // Its command was never taken: the waiting start takes the channel and plays it itself.
  EXPECT_EQ(waiting.exit_code(), 3);
}

// A first start that ends before its window opens (the user declined to go on) tells the starts
// waiting on it, and those that come before it has gone, that nobody will take their command:
// each says so and fails, instead of becoming the window in turn. Once it has gone, the next
// start is the first again.
TEST_F(ChannelTest, StartsWaitingOnAFirstThatEndsWithoutAWindowAreToldSoAndFail) {
  Probe first(channel_folder, {"refuse", "1500"});
  ASSERT_EQ(first.line(), "ready");
  Probe waiting(channel_folder, {"send", "/media/a.mp4", "20000"});
  Probe also_waiting(channel_folder, {"send", "/media/b.mp4", "20000"});
  ASSERT_EQ(first.line(), "refused");
  Probe late(channel_folder, {"send", "/media/c.mp4", "20000"});
  for (Probe* start : {&waiting, &also_waiting, &late}) {
    EXPECT_EQ(start->exit_code(), 1);
    EXPECT_NE(start->errors().find("ended without a window (the user declined)"), std::string::npos)
        << start->errors();
  }
  EXPECT_EQ(first.exit_code(), 0);
  Probe next(channel_folder, {"send", "/media/d.mp4", "2000"});
  EXPECT_EQ(next.exit_code(), 3);
}

TEST_F(ChannelTest, AStaleSocketAfterACrashDoesNotBlockTheNextStart) {
  {
    Probe crashed(channel_folder, {"serve"});
    ASSERT_EQ(crashed.line(), "ready");
    LocalInstanceChannel blocked("Pelmora|BA1", channel_folder);
    EXPECT_FALSE(blocked.claim());
    crashed.crash();
  }
  struct stat info {};
  ASSERT_EQ(::stat((channel_folder + "/Pelmora_BA1.socket").c_str(), &info), 0)
      << "the crashed instance leaves its socket behind";

  Probe next(channel_folder, {"serve"});
  ASSERT_EQ(next.line(), "ready");
  Probe sender(channel_folder, {"send", "/media/b.mp4"});
  EXPECT_EQ(sender.exit_code(), 0);
  EXPECT_EQ(next.line(), "/media/b.mp4");
}

TEST_F(ChannelTest, TheSocketIsPrivateToTheUser) {
  LocalInstanceChannel first("Pelmora|BA1", channel_folder);
  ASSERT_TRUE(first.claim());
  first.listen([](const std::string&) {});
  struct stat folder_info {};
  struct stat socket_info {};
  ASSERT_EQ(::stat(channel_folder.c_str(), &folder_info), 0);
  ASSERT_EQ(::stat(first.socket_path().c_str(), &socket_info), 0);
  EXPECT_EQ(folder_info.st_mode & 0777, 0700u);
  EXPECT_EQ(socket_info.st_mode & 077, 0u);
  EXPECT_TRUE(S_ISSOCK(socket_info.st_mode));
}

// Sets environment variables for one test and puts the old values back.
class Environment {
 public:
  void set(const char* name, const std::string& value) {
    remember(name);
    ::setenv(name, value.c_str(), 1);
  }
  void unset(const char* name) {
    remember(name);
    ::unsetenv(name);
  }
  ~Environment() {
    for (const auto& [name, value] : old_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

 private:
  void remember(const char* name) {
    const char* value = std::getenv(name);
    old_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  std::vector<std::pair<std::string, std::optional<std::string>>> old_;
};

TEST_F(ChannelTest, ASharedFolderTakenByAnotherUserGivesWayToAPrivateOne) {
  Environment environment;
  environment.unset("XDG_RUNTIME_DIR");
  environment.set("TMPDIR", folder.file("tmp"));
  environment.set("XDG_CACHE_HOME", folder.file("cache"));
  ::mkdir(folder.file("tmp").c_str(), 0777);
  const std::string taken = folder.file("tmp") + "/pelmora-" + std::to_string(::getuid());
  if (::getuid() == 0) {
    // Another user made the folder first and left it open to all.
    ::mkdir(taken.c_str(), 0777);
    ASSERT_EQ(::chown(taken.c_str(), 65534, 65534), 0);
  } else {
    // Another user put a link to a folder of theirs there.
    ASSERT_EQ(::symlink("/tmp", taken.c_str()), 0);
  }
  const std::string chosen = LocalInstanceChannel::default_folder();
  EXPECT_EQ(chosen, folder.file("cache") + "/pelmora");
  struct stat info {};
  ASSERT_EQ(::lstat(chosen.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, ::getuid());

  // The starts of this user meet there: one is the first, the next hands over to it.
  LocalInstanceChannel first("Pelmora|BA1");
  LocalInstanceChannel second("Pelmora|BA1");
  EXPECT_TRUE(first.claim());
  EXPECT_FALSE(second.claim());
  EXPECT_EQ(first.socket_path(), chosen + "/Pelmora_BA1.socket");
}

TEST_F(ChannelTest, AnOversizedMessageIsRefused) {
  LocalInstanceChannel first("Pelmora|BA1", channel_folder);
  ASSERT_TRUE(first.claim());
  first.listen([](const std::string&) {});
  LocalInstanceChannel second("Pelmora|BA1", channel_folder);
  EXPECT_FALSE(second.send(std::string(kMaxChannelMessage + 1, 'x')));
}

}  // namespace
}  // namespace pelmora::platform
