#pragma once

#include <QtCore/QObject>
#include <QtDBus/QDBusUnixFileDescriptor>
#include <functional>

namespace pelmora::platform::qt {

// Makes a system shutdown or sleep wait until the program has written where the item stands:
// while `set_held(true)`, a "delay" inhibitor lock of logind ("shutdown:sleep") held as the file
// descriptor logind hands out. When logind announces the shutdown (PrepareForShutdown) the
// program ends through `on_shutdown`, then the lock is let go so the shutdown goes on at once;
// before sleep (PrepareForSleep) `on_sleep` runs and the lock is let go, and it is taken again
// after the wake while still wanted. Without a system bus or logind nothing is held. Asking never
// waits: logind's answer arrives on the event loop.
class ShutdownDelay final : public QObject {
  Q_OBJECT

 public:
  ShutdownDelay(std::function<void()> on_shutdown, std::function<void()> on_sleep);
  ~ShutdownDelay() override;
  ShutdownDelay(const ShutdownDelay&) = delete;
  ShutdownDelay& operator=(const ShutdownDelay&) = delete;

  void set_held(bool held);
  bool held() const { return lock_.isValid(); }

 private slots:
  void prepare_for_shutdown(bool starting);
  void prepare_for_sleep(bool starting);

 private:
  void ask();
  std::function<void()> on_shutdown_;
  std::function<void()> on_sleep_;
  QDBusUnixFileDescriptor lock_;
  bool wanted_ = false;
  bool asking_ = false;
  bool shutting_down_ = false;
};

}  // namespace pelmora::platform::qt
