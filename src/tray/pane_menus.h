#pragma once

#include <memory>
#include <vector>

#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::app {
class BA1;
}

namespace pelmora::tray {

// The player's own menus, in the style of the tips form's: the picture's menu (a right click on
// the picture or the advert panel in its place) and the notification-area icon's menu, which
// puts showing the window and play / pause before the entries of the main menu. Their items
// belong to `owner` (the tips form) like every other menu of the program.
class PlayerMenus {
 public:
  PlayerMenus(platform::Form& owner, app::BA1& window, platform::MenuItem& main_menu);

  // The picture's menu: play / pause, stop, full screen, mute, open a file, the episode steps.
  platform::MenuItem bo_menu;
  platform::MenuItem bo_play;
  platform::MenuItem bo_stop;
  platform::MenuItem bo_full;
  platform::MenuItem bo_mute;
  platform::MenuItem bo_s1;
  platform::MenuItem bo_open;
  platform::MenuItem bo_s2;
  platform::MenuItem bo_prev;
  platform::MenuItem bo_next;
  // The icon's menu: show the window, play / pause, then the main menu's entries.
  platform::MenuItem tray_menu;
  platform::MenuItem tr_show;
  platform::MenuItem tr_play;
  platform::MenuItem tr_s1;

  // Captions and enabled states from what the window shows now, before a menu pops up.
  void refresh();

 private:
  app::BA1& window_;
  // The main menu's entries as the icon's menu offers them; each runs the entry it stands for.
  std::vector<std::unique_ptr<platform::MenuItem>> main_entries_;
};

}  // namespace pelmora::tray
