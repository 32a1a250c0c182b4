#pragma once

#include <memory>

#include "app/main_window.h"
#include "promo/promotion_windows.h"
#include "settings_dialog/settings_dialog.h"
#include "tray/pane_menus.h"
#include "tray/tips_form.h"

namespace pelmora::platform {
class Backend;
class Tray;
}  // namespace pelmora::platform

namespace pelmora::app {

// The windows the main window makes on demand. They are kept once made and attached to the
// window toolkit; the tips form, the floating window and the settings dialog are unloaded by
// the exit routine. When the main window goes, its notification-area icon goes with it.
struct BA1::OwnWindows {
  explicit OwnWindows(BA1& main_window);
  ~OwnWindows();
  OwnWindows(const OwnWindows&) = delete;
  OwnWindows& operator=(const OwnWindows&) = delete;

  BA1& window;
  // Kept here so that nothing of the main window is needed while it is being destroyed.
  platform::Backend& backend;
  platform::Tray& tray;
  // Whether this window put up the notification-area icon (and so answers its clicks).
  bool owns_icon = false;
  std::unique_ptr<tray::tip> tips;
  // The picture's and the icon's menus, items of the tips form: they go before it.
  std::unique_ptr<tray::PlayerMenus> player_menus;
  std::unique_ptr<settings_dialog::BA3> settings;
  std::unique_ptr<promo::adsb> floating;
  std::unique_ptr<promo::ba4> recommendation;
};

}  // namespace pelmora::app
