// The notification-area icon and the windows the main window makes on demand.
#include "app/main_window.h"

#include "platform/backend.h"
#include "platform/tray.h"
#include "tray/own_windows.h"

namespace pelmora::app {

BA1::OwnWindows::OwnWindows(BA1& main_window)
    : window(main_window),
      backend(main_window.services().backend),
      tray(main_window.services().tray) {}

BA1::OwnWindows::~OwnWindows() {
  // The icon's clicks would otherwise reach a window that no longer exists.
  if (owns_icon) {
    tray.on_left_click = nullptr;
    tray.on_right_click = nullptr;
    if (tray.shown()) tray.remove();
  }
  recommendation.reset();
  floating.reset();
  settings.reset();
  player_menus.reset();
  tips.reset();
}

void BA1::OwnWindowsDeleter::operator()(OwnWindows* windows) const {
  delete windows;
}

BA1::OwnWindows& BA1::own_windows() {
  if (!own_windows_) own_windows_.reset(new OwnWindows(*this));
  return *own_windows_;
}

namespace {

// Makes a window of the main window's: attached to the toolkit and, when the exit routine must
// close it, registered there.
template <typename FormType>
FormType& make_window(std::unique_ptr<FormType>& slot, BA1& window, platform::Backend& backend,
                      bool unload_at_exit) {
  if (!slot) {
    slot = std::make_unique<FormType>(window);
    backend.attach(*slot);
    if (unload_at_exit) window.exit_forms.push_back(slot.get());
  }
  return *slot;
}

}  // namespace

tray::tip& BA1::tip_form() {
  OwnWindows& own = own_windows();
  return make_window(own.tips, *this, own.backend, true);
}

settings_dialog::BA3& BA1::settings_form() {
  OwnWindows& own = own_windows();
  return make_window(own.settings, *this, own.backend, true);
}

promo::adsb& BA1::float_form() {
  OwnWindows& own = own_windows();
  return make_window(own.floating, *this, own.backend, true);
}

promo::ba4& BA1::recommend_form() {
  OwnWindows& own = own_windows();
  return make_window(own.recommendation, *this, own.backend, false);
}

void BA1::wire_tray() {
  Timer5.on_timer = [this] { Timer5_Timer(); };
  Timer8.on_timer = [this] { Timer8_Timer(); };
  tray::tip& menus = tip_form();
  shutdown_menu = &menus.guan;
  pop_up_main_menu = [this](int, int) { popup_menu(tip_form().r_m); };
  own_windows().player_menus = std::make_unique<tray::PlayerMenus>(menus, *this, menus.r_m);
  pop_up_player_menu = [this] {
    tray::PlayerMenus& player_menus = *own_windows().player_menus;
    player_menus.refresh();
    popup_menu(player_menus.bo_menu);
  };
  // Disarming from the shutdown notice goes through the menu, whose check marks follow.
  disarm_shutdown = [this] { tip_form().disarm_shutdown(); };
  exit_recommendation_hook = [this](bool show) {
    if (show) {
      recommend_form().show();
    } else if (own_windows().recommendation) {
      own_windows().recommendation->unload();
    }
  };
}

void BA1::tray_add() {
  // The menus' form is loaded with the icon, as the icon's menu belongs to it.
  tip_form().load();
  platform::Tray& icon = services().tray;
  icon.on_left_click = [this] { tray_left_click(); };
  icon.on_right_click = [this] { tray_right_click(); };
  icon.add(caption());
  own_windows().owns_icon = true;
}

void BA1::tray_remove() {
  services().tray.remove();
}

void BA1::tray_left_click() {
  if (!services().tray.shown()) return;
  if (window_state() == platform::WindowState::kMinimized) {
    set_window_state(platform::WindowState::kNormal);
    return;
  }
  if (shown()) {
    hide();
  } else {
    show();
  }
}

void BA1::tray_right_click() {
  if (!services().tray.shown()) return;
  tray::PlayerMenus& player_menus = *own_windows().player_menus;
  player_menus.refresh();
  popup_menu(player_menus.tray_menu);
}

void BA1::open_dialog(platform::Form& dialog) {
  const bool was_pinned = chrome.pinned;
  if (was_pinned) zhi_d(0);
  if (!shown()) show();
  if (window_state() == platform::WindowState::kMinimized) {
    set_window_state(platform::WindowState::kNormal);
  }
  dialog.show();
  if (was_pinned) zhi_d(1);
}

}  // namespace pelmora::app
