// The program's place on the desktop: Qt's own texts in Chinese, and the media player the
// session bus shows (on a private bus of the test's own).
#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QLocale>
#include <QtCore/QProcess>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCall>
#include <QtDBus/QDBusPendingReply>
#include <QtDBus/QDBusVariant>
#include <QtWidgets/QApplication>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <string>
#include <vector>

#include "platform/desktop/mpris_service.h"
#include "platform/desktop/qt_translations.h"

namespace pelmora::platform::qt {
namespace {

// A session bus of the test's own, started before the application touches any bus.
class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    if (!daemon_.waitForStarted(5000)) return;
    QElapsedTimer timer;
    timer.start();
    while (!daemon_.canReadLine() && timer.elapsed() < 5000) daemon_.waitForReadyRead(100);
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    if (!address_.isEmpty()) qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
  }
  ~PrivateBus() {
    daemon_.terminate();
    daemon_.waitForFinished(2000);
  }
  const QString& address() const { return address_; }

 private:
  QProcess daemon_;
  QString address_;
};

PrivateBus& bus() {
  static PrivateBus* instance = new PrivateBus;
  return *instance;
}

QApplication& application() {
  static QApplication* app = [] {
    bus();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "platform_desktop_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

template <typename Done>
bool run_until(Done done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

TEST(QtTranslations, StandardButtonsReadInChineseWhateverTheLocale) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  application();
  ASSERT_TRUE(install_chinese_translations(*QCoreApplication::instance()))
      << "qtbase_zh_CN.qm not found (package qt6-translations-l10n)";
  QMessageBox box;
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok |
                         QMessageBox::Cancel);
  const auto text = [&](QMessageBox::StandardButton which) {
    return box.button(which)->text().remove('&').toStdString();
  };
  EXPECT_EQ(text(QMessageBox::Yes).rfind("是", 0), 0U) << text(QMessageBox::Yes);
  EXPECT_EQ(text(QMessageBox::No).rfind("否", 0), 0U) << text(QMessageBox::No);
  EXPECT_EQ(text(QMessageBox::Ok).rfind("确定", 0), 0U) << text(QMessageBox::Ok);
  EXPECT_EQ(text(QMessageBox::Cancel).rfind("取消", 0), 0U) << text(QMessageBox::Cancel);
}

// Media controls that record what the bus asked for.
class RecordingControls final : public MediaControls {
 public:
  MediaState state() override { return now; }
  int position() const override { return at; }
  void raise() override { calls.push_back("raise"); }
  void quit() override { calls.push_back("quit"); }
  void play_pause() override { calls.push_back("play_pause"); }
  void play() override { calls.push_back("play"); }
  void pause() override { calls.push_back("pause"); }
  void stop() override { calls.push_back("stop"); }
  void next() override { calls.push_back("next"); }
  void previous() override { calls.push_back("previous"); }
  void seek_to(int seconds) override {
    calls.push_back("seek " + std::to_string(seconds));
    at = seconds;
  }
  void set_volume(int percent) override { calls.push_back("volume " + std::to_string(percent)); }
  void open(const std::string& address) override { calls.push_back("open " + address); }

  MediaState now;
  int at = 0;
  std::vector<std::string> calls;
};

class Mpris : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    if (bus().address().isEmpty()) GTEST_SKIP() << "no dbus-daemon for a private bus";
    ASSERT_TRUE(service.publish());
    client = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(bus().address(), "mpris-test-client"));
    ASSERT_TRUE(client->isConnected());
  }
  void TearDown() override { QDBusConnection::disconnectFromBus("mpris-test-client"); }

  // Calls a method of the service from the other connection and waits for the answer.
  QDBusMessage call(const QString& interface, const QString& method,
                    const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        MprisService::kServiceName, MprisService::kObjectPath, interface, method);
    message.setArguments(arguments);
    QDBusPendingCall pending = client->asyncCall(message, 3000);
    run_until([&] { return pending.isFinished(); });
    return pending.reply();
  }
  QVariant property(const QString& name) {
    const QDBusMessage reply =
        call("org.freedesktop.DBus.Properties", "Get", {"org.mpris.MediaPlayer2.Player", name});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  }

  RecordingControls controls;
  int commands = 0;
  MprisService service{controls, [this] { ++commands; }};
  std::unique_ptr<QDBusConnection> client;
};

TEST_F(Mpris, MethodsReachTheControlsAndStateChangesAreSignalled) {
  const QString player = "org.mpris.MediaPlayer2.Player";
  MediaState playing;
  playing.status = PlaybackStatus::kPlaying;
  playing.title = "电影 第2集";
  playing.item = 3;
  playing.length = 90;
  playing.volume = 40;
  playing.can_play = playing.can_pause = playing.can_seek = true;
  playing.can_go_next = true;
  controls.now = playing;
  controls.at = 30;
  service.update(playing, MediaState{});
  EXPECT_EQ(property("PlaybackStatus").toString(), "Playing");
  EXPECT_EQ(property("Volume").toDouble(), 0.4);
  EXPECT_EQ(property("Position").toLongLong(), 30000000);
  EXPECT_TRUE(property("CanGoNext").toBool());
  EXPECT_FALSE(property("CanGoPrevious").toBool());
  const QDBusMessage metadata =
      call("org.freedesktop.DBus.Properties", "Get", {player, QString("Metadata")});
  ASSERT_EQ(metadata.type(), QDBusMessage::ReplyMessage) << metadata.errorMessage().toStdString();

  call(player, "PlayPause");
  call(player, "Pause");
  call(player, "Play");
  call(player, "Stop");
  call(player, "Next");
  call(player, "Previous");
  call(player, "Seek", {QVariant::fromValue(qlonglong(-12400000))});
  // Another item's track, or a position past the end, is stale and does nothing.
  call(player, "SetPosition",
       {QVariant::fromValue(QDBusObjectPath("/org/pelmora/Pelmora/Track/2")),
        QVariant::fromValue(qlonglong(5000000))});
  call(
      player, "SetPosition",
      {QVariant::fromValue(MprisService::track_path(3)), QVariant::fromValue(qlonglong(91000000))});
  call(
      player, "SetPosition",
      {QVariant::fromValue(MprisService::track_path(3)), QVariant::fromValue(qlonglong(60000000))});
  call("org.freedesktop.DBus.Properties", "Set",
       {player, QString("Volume"), QVariant::fromValue(QDBusVariant(1.7))});
  call(player, "OpenUri", {QString("file:///m/%E7%94%B5%E5%BD%B1.mp4")});
  call(player, "OpenUri", {QString("qvod://12|ABC|a.mp4|")});
  call("org.mpris.MediaPlayer2", "Raise");
  EXPECT_EQ(controls.calls,
            (std::vector<std::string>{"play_pause", "pause", "play", "stop", "next", "previous",
                                      "seek 18", "seek 60", "volume 100", "open /m/电影.mp4",
                                      "open qvod://12|ABC|a.mp4|", "raise"}));
  EXPECT_EQ(commands, 12);
}

TEST_F(Mpris, PropertiesChangedCarriesWhatChanged) {
  // The signals the service sends, caught by a monitor on the bus.
  QProcess monitor;
  monitor.start("dbus-monitor", {"--address", bus().address(),
                                 "type='signal',interface='org.freedesktop.DBus.Properties'"});
  ASSERT_TRUE(monitor.waitForStarted(3000));
  // The monitor listens only once it has told the bus what it wants, which a busy machine can
  // delay: probe titles go out one at a time until the monitor shows the latest one, and what
  // it caught up to then is dropped.
  QString caught;
  bool listening = false;
  for (int probe = 1; probe <= 40 && !listening; ++probe) {
    MediaState marker;
    marker.item = 1;
    marker.title = "probe-" + std::to_string(probe);
    service.update(marker, MediaState{});
    const QString name = QString::fromStdString(marker.title);
    listening = run_until(
        [&] {
          caught += QString::fromUtf8(monitor.readAll());
          return caught.contains(name);
        },
        500);
  }
  ASSERT_TRUE(listening) << "the bus monitor never listened";
  MediaState before;
  MediaState now;
  now.status = PlaybackStatus::kPaused;
  now.item = 1;
  now.title = "a.mp4";
  now.length = 10;
  service.update(now, before);
  now.status = PlaybackStatus::kPaused;
  now.volume = 70;
  service.update(now, now);  // nothing changed: no signal
  MediaState louder = now;
  louder.volume = 80;
  service.update(louder, now);
  QString text;
  run_until(
      [&] {
        text += QString::fromUtf8(monitor.readAll());
        // The volume's signal is the last one sent; a signal for the update that changed
        // nothing would have come before it.
        return text.count("PropertiesChanged") >= 2 && text.contains("double");
      },
      3000);
  monitor.terminate();
  monitor.waitForFinished(2000);
  EXPECT_EQ(text.count("PropertiesChanged"), 2) << text.toStdString();
  EXPECT_TRUE(text.contains("\"Paused\"")) << text.toStdString();
  EXPECT_TRUE(text.contains("xesam:title")) << text.toStdString();
  EXPECT_TRUE(text.contains("/org/pelmora/Pelmora/Track/1")) << text.toStdString();
  EXPECT_TRUE(text.contains("double 0.8")) << text.toStdString();
}

}  // namespace
}  // namespace pelmora::platform::qt
