#pragma once

#include <QtDBus/QDBusUnixFileDescriptor>
#include <cstdint>
#include <optional>

#include "platform/media_controls.h"

namespace pelmora::platform::qt {

// Keeps the screen from blanking while a film plays: org.freedesktop.ScreenSaver's Inhibit on
// the session bus (GNOME, KDE, Xfce and most screen lockers answer it), or, where no such
// service answers, an "idle" inhibitor lock from logind on the system bus, held as the file
// descriptor logind hands out. Calls wait at most a second; without any bus nothing is held.
class ScreenSaverInhibitor final : public IdleInhibitor {
 public:
  ScreenSaverInhibitor() = default;
  ~ScreenSaverInhibitor() override;
  ScreenSaverInhibitor(const ScreenSaverInhibitor&) = delete;
  ScreenSaverInhibitor& operator=(const ScreenSaverInhibitor&) = delete;

  void set_held(bool held) override;
  bool held() const override { return cookie_.has_value() || lock_.isValid(); }

 private:
  void acquire();
  void release();
  std::optional<std::uint32_t> cookie_;  // from the screen saver service
  QDBusUnixFileDescriptor lock_;         // from logind
  bool wanted_ = false;
};

}  // namespace pelmora::platform::qt
