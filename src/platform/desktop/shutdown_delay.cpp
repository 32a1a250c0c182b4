#include "platform/desktop/shutdown_delay.h"

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCallWatcher>
#include <QtDBus/QDBusPendingReply>

namespace pelmora::platform::qt {

namespace {

constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kApplication = "Pelmora";
constexpr const char* kReason = "保存播放位置";

}  // namespace

ShutdownDelay::ShutdownDelay(std::function<void()> on_shutdown, std::function<void()> on_sleep)
    : on_shutdown_(std::move(on_shutdown)), on_sleep_(std::move(on_sleep)) {
  QDBusConnection system = QDBusConnection::systemBus();
  if (!system.isConnected()) return;
  system.connect(kService, kPath, kManager, "PrepareForShutdown", this,
                 SLOT(prepare_for_shutdown(bool)));
  system.connect(kService, kPath, kManager, "PrepareForSleep", this, SLOT(prepare_for_sleep(bool)));
}

ShutdownDelay::~ShutdownDelay() = default;

void ShutdownDelay::set_held(bool held) {
  if (shutting_down_) held = false;
  if (held == wanted_) return;
  wanted_ = held;
  if (held) {
    ask();
  } else {
    // Closing the descriptor logind gave ends its lock.
    lock_ = QDBusUnixFileDescriptor();
  }
}

void ShutdownDelay::ask() {
  if (asking_ || lock_.isValid()) return;
  QDBusConnection system = QDBusConnection::systemBus();
  if (!system.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, "Inhibit");
  call << QString("shutdown:sleep") << QString(kApplication) << QString::fromUtf8(kReason)
       << QString("delay");
  asking_ = true;
  auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    asking_ = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
    // Let go at once when playing ended while logind answered.
    if (reply.isValid() && reply.value().isValid() && wanted_) lock_ = reply.value();
  });
}

void ShutdownDelay::prepare_for_shutdown(bool starting) {
  if (!starting || shutting_down_) return;
  shutting_down_ = true;
  if (on_shutdown_) on_shutdown_();
  wanted_ = false;
  lock_ = QDBusUnixFileDescriptor();
}

void ShutdownDelay::prepare_for_sleep(bool starting) {
  if (!starting) {
    if (wanted_) ask();
    return;
  }
  if (!wanted_) return;
  if (on_sleep_) on_sleep_();
  lock_ = QDBusUnixFileDescriptor();
}

}  // namespace pelmora::platform::qt
