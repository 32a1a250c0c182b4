#include "platform/desktop/screensaver_inhibitor.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusReply>

namespace pelmora::platform::qt {

namespace {

constexpr int kCallTimeoutMs = 1000;
constexpr const char* kApplication = "Pelmora";
constexpr const char* kReason = "正在播放视频";

}  // namespace

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
  release();
}

void ScreenSaverInhibitor::set_held(bool held) {
  if (held == wanted_) return;
  wanted_ = held;
  if (held) {
    acquire();
  } else {
    release();
  }
}

void ScreenSaverInhibitor::acquire() {
  QDBusConnection session = QDBusConnection::sessionBus();
  if (session.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver",
                                                       "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "Inhibit");
    call << QString(kApplication) << QString::fromUtf8(kReason);
    const QDBusReply<uint> reply = session.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.isValid()) {
      cookie_ = reply.value();
      return;
    }
  }
  QDBusConnection system = QDBusConnection::systemBus();
  if (!system.isConnected()) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                     "org.freedesktop.login1.Manager", "Inhibit");
  call << QString("idle") << QString(kApplication) << QString::fromUtf8(kReason)
       << QString("block");
  const QDBusReply<QDBusUnixFileDescriptor> reply = system.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.isValid() && reply.value().isValid()) lock_ = reply.value();
}

void ScreenSaverInhibitor::release() {
  if (cookie_) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver",
                                                       "/org/freedesktop/ScreenSaver",
                                                       "org.freedesktop.ScreenSaver", "UnInhibit");
    call << *cookie_;
    QDBusConnection::sessionBus().call(call, QDBus::Block, kCallTimeoutMs);
    cookie_.reset();
  }
  // Closing the descriptor logind gave ends its lock.
  lock_ = QDBusUnixFileDescriptor();
}

}  // namespace pelmora::platform::qt
