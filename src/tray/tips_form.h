#pragma once

#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::app {
class BA1;
}

namespace pelmora::tray {

// The form that holds every popup menu of the program and, shown as a window, the tips panel
// "帮助提示" that pages through five pages of usage hints. Every menu command acts on the main
// window. The top-level menus are never shown in a menu bar; other windows pop them up.
class tip : public platform::Form {
 public:
  explicit tip(app::BA1& main_window);

  // The catalogue pane's context menu.
  platform::MenuItem myMenu{this, "myMenu"};
  platform::MenuItem ht{this, "ht"};
  platform::MenuItem qj{this, "qj"};
  platform::MenuItem sx{this, "sx"};
  platform::MenuItem sss{this, "sss"};
  platform::MenuItem fz{this, "fz"};
  platform::MenuItem zt{this, "zt"};
  platform::MenuItem zy{this, "zy"};
  // The main menu: the tray icon's right click and the frame's menu button.
  platform::MenuItem r_m{this, "r_m"};
  platform::MenuItem shezhi{this, "shezhi"};
  platform::MenuItem about{this, "about"};
  platform::MenuItem guanf{this, "guanf"};
  platform::MenuItem aa12{this, "aa12"};
  platform::MenuItem help{this, "help"};
  platform::MenuItem shengji{this, "shengji"};
  platform::MenuItem aa122{this, "aa122"};
  platform::MenuItem qsoft{this, "qsoft"};
  // Shutdown after playback (transport button 6).
  platform::MenuItem guan{this, "guan"};
  platform::MenuItem kaiqi{this, "kaiqi"};
  platform::MenuItem quxiao{this, "quxiao"};
  // Skins.
  platform::MenuItem pifu{this, "pifu"};
  platform::MenuItem green{this, "green"};
  platform::MenuItem blue{this, "blue"};
  platform::MenuItem kafei{this, "kafei"};
  // A network-task entry of the list page.
  platform::MenuItem webc{this, "webc"};
  platform::MenuItem c_f{this, "c_f"};
  platform::MenuItem c_shan{this, "c_shan"};
  platform::MenuItem ttbn{this, "ttbn"};
  platform::MenuItem c_shan2{this, "c_shan2"};
  // The side panel's task label.
  platform::MenuItem c_fie{this, "c_fie"};
  platform::MenuItem renwub{this, "renwub"};
  platform::MenuItem wenjianb{this, "wenjianb"};

  // The tips panel: a heading, five pages with their hint labels, the page counter
  // "第 n 条" (La(21), La(22), La(23)) and two buttons.
  platform::Label Label1{this, "Label1"};
  platform::ControlArray<platform::PictureBox> Pi =
      platform::ControlArray<platform::PictureBox>::range(this, "Pi", kPages);
  platform::ControlArray<platform::Label> La{
      this, "La", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 21, 22, 23}};
  // The open-file button's picture inside the first hint page.
  platform::PictureBox Image1{this, "Image1"};
  // The transport bar's button strip, hidden: Image1 shows its open-file cell.
  platform::PictureBox button_strip{this, "button_strip"};
  platform::CommandButton cmdnext{this, "cmdnext"};
  platform::CommandButton cmdclose{this, "cmdclose"};

  static constexpr int kPages = 5;
  // The page on view, 0-based; 0 each time the form loads.
  int page() const { return page_; }

  void Form_Load();
  void Form_Resize();
  void cmdnext_Click();
  // The shutdown menu's second entry: the shutdown is disarmed and the marks follow.
  void disarm_shutdown();
  void cmdclose_Click();

 private:
  void build_menus();
  void wire_menus();
  void build_panel();

  app::BA1& main_;
  int page_ = 0;
};

}  // namespace pelmora::tray
