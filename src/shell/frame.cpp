#include "shell/frame.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/tray.h"
#include "shell/layout.h"
#include "shell/skin.h"

namespace pelmora::shell::frame {

using platform::Cursor;

bool in_interior(int x, int y, int width, int height) {
  return x > kBand && x < width - kBand && y > kBand && y < height - kBand;
}

BorderZone border_zone(int x, int y, int W, int H) {
  const bool right = x >= W - kBand;
  const bool left = x <= kBand;
  const bool top = y <= kBand;
  const bool bottom = y >= H - kBand;
  if (right && top) return {Cursor::kSizeNESW, kTopRight};
  if (right && bottom) return {Cursor::kSizeNWSE, kBottomRight};
  if (right) return {Cursor::kSizeWE, kRight};
  if (!left && top) return {Cursor::kSizeNS, kTop};
  if (!left && bottom) return {Cursor::kSizeNS, kBottom};
  if (!left) return {Cursor::kDefault, kNoHit};
  if (top) return {Cursor::kSizeNWSE, kTopLeft};
  if (bottom) return {Cursor::kSizeNESW, kBottomLeft};
  return {Cursor::kSizeWE, kLeft};
}

platform::WindowEdge edge_of(int hit_code) {
  using platform::WindowEdge;
  switch (hit_code) {
    case kRight:
      return WindowEdge::kRight;
    case kTop:
      return WindowEdge::kTop;
    case kTopLeft:
      return WindowEdge::kTopLeft;
    case kTopRight:
      return WindowEdge::kTopRight;
    case kBottom:
      return WindowEdge::kBottom;
    case kBottomLeft:
      return WindowEdge::kBottomLeft;
    case kBottomRight:
      return WindowEdge::kBottomRight;
    default:
      return WindowEdge::kLeft;
  }
}

}  // namespace pelmora::shell::frame

namespace pelmora::app {

namespace frame = shell::frame;
namespace layout = shell::layout;
namespace skin = shell::skin;
using platform::Cursor;
using platform::MouseButton;
using platform::MouseEvent;
using platform::WindowState;

namespace {

constexpr platform::Color kWhite = 0xFFFFFF;
constexpr platform::Color kDarkRed = 0x000080;  // RGB(128, 0, 0)
constexpr platform::Color kGrey = 0x5A5A5A;     // RGB(90, 90, 90)

// Indices of the caption buttons whose tooltip the hover label shows.
bool shows_hover_label(int index) {
  return index == 0 || index == 1 || index == 2 || index == 4 || index == 5 || index == 15;
}

// Gives a control its design size unless its owner has given it one already.
void design_size(platform::Control& control, int width, int height) {
  if (control.width() == 0 && control.height() == 0) {
    control.move(control.left(), control.top(), width, height);
  }
}

}  // namespace

void BA1::wire_shell() {
  // Design-time sizes, captions and tips of the frame's controls.
  const std::string tips[] = {"最小化", "最大化", "关闭", "", "置顶", "主菜单", "关闭侧栏", "", "",
                              "",       "",       "",     "", "",     "",       "迷你模式"};
  for (int index = 0; index <= 16; ++index) {
    const int size = skin::is_tab(index) ? 58 : skin::is_side_tab(index) ? 60 : 24;
    const int tall = skin::is_tab(index) ? 69 : skin::is_side_tab(index) ? 21 : 24;
    npc[index].move(0, 0, size, tall);
    if (index < 16 && !tips[index].empty()) npc[index].set_tool_tip(tips[index]);
  }
  show_pin();
  npc[6].move(0, 0, 3, 40);
  npc[10].move(0, 0, 202, 28);
  jbi.set_caption("x");
  jbi.move(0, 0, 12, 18);
  jbi.set_fore_color(kWhite);
  jbi.set_visible(false);
  ni_name.move(15, 8, 0, 0);
  ni_name.set_auto_size(true);
  ni_name.set_caption("Pelmora 3.0");
  bo_tip.set_auto_size(true);
  ni_bo1.set_visible(false);
  qk.set_fore_color(kGrey);
  qk.set_auto_size(true);
  design_size(shan, 202, 20);
  design_size(soimg, 200, 30);
  design_size(soc, 50, 30);
  design_size(gunt, 100, 8);
  design_size(gunt1, 8, 8);
  huan.move(0, 0, 0, 8);
  design_size(bo_zt, 100, 22);
  design_size(adp, 80, 80);
  design_size(jia, 32, 32);
  webe.set_auto_size(true);  // the error text has many lines
  design_size(times, 100, layout::kLineHeight);
  design_size(bo_v, 10, 10);
  design_size(bo_name, 220, layout::kLineHeight);

  // Only the first tab's pane and the first list show until the tabs are selected.
  for (platform::PictureBox* pane : {&zz, &ying, &yingyong, &xiaoshuo, &Pic4, &Pic5}) {
    pane->set_visible(false);
  }

  on_resize = [this] { Form_Resize(); };
  on_mouse_down = [this](const MouseEvent& event) { Form_MouseDown(event); };
  on_mouse_move = [this](const MouseEvent& event) { Form_MouseMove(event); };
  on_mouse_up = [this](const MouseEvent& event) { Form_MouseUp(event); };
  on_dbl_click = [this] { Form_DblClick(); };
  // A double click on the playing picture shows it full screen (and, there, leaves).
  player_view.on_dbl_click = [this] { enter_full_screen(); };
  on_system_drag_end = [this](const platform::SystemDrag& drag) { system_drag_ended(drag); };
  for (int index = 0; index <= 16; ++index) {
    npc[index].on_click = [this, index] { npc_Click(index); };
    npc[index].on_mouse_move = [this, index](const MouseEvent& event) {
      npc_MouseMove(index, event);
    };
  }
  jbi.on_click = [this] { jbi_Click(); };
  const auto point_at_label = [this](platform::Label& label) {
    set_cursor(Cursor::kDefault);
    label.set_fore_color(kDarkRed);
  };
  jbi.on_mouse_move = [this, point_at_label](const MouseEvent&) { point_at_label(jbi); };
  qk.on_mouse_move = [this, point_at_label](const MouseEvent&) { point_at_label(qk); };
  // Entering a child takes the resize cursor away and un-highlights the labels it covers.
  bo_ad.on_mouse_move = [this](const MouseEvent&) {
    set_cursor(Cursor::kDefault);
    jbi.set_fore_color(kWhite);
  };
  bo_foot.on_mouse_move = [this](const MouseEvent&) {
    set_cursor(Cursor::kDefault);
    jbi.set_fore_color(kWhite);
    qk.set_fore_color(kGrey);
  };
  bo_zt.on_mouse_move = [this](const MouseEvent&) { set_cursor(Cursor::kDefault); };
  zz.on_mouse_move = [this](const MouseEvent&) { set_cursor(Cursor::kDefault); };
  shan.on_mouse_move = [this](const MouseEvent&) {
    set_cursor(Cursor::kDefault);
    qk.set_fore_color(kGrey);
  };
}

void BA1::reset_label_colours() {
  jbi.set_fore_color(kWhite);
  qk.set_fore_color(kGrey);
}

void BA1::release_mouse_capture() {
  if (captured() != nullptr) captured()->release_capture();
  release_capture();
}

void BA1::npc_MouseMove(int index, const MouseEvent& event) {
  set_cursor(Cursor::kDefault);
  if (index >= 16 || index == 6 || index == 10 || index == 11 || !npc.contains(index)) return;
  platform::PictureBox& button = npc[index];
  const bool inside =
      event.x >= 0 && event.x <= button.width() && event.y >= 0 && event.y <= button.height();
  const auto cell = skin::button_cell(index, inside ? skin::Look::kHover : skin::Look::kNormal,
                                      window_state() == WindowState::kMaximized, chrome.pinned);
  // The history sub-tab keeps whatever it shows (it may be the selected one).
  if (cell && index != 12) paint_button(index, cell->strip, cell->from);
  if (inside) {
    button.set_capture();
    if (shows_hover_label(index)) {
      bo_tip.set_caption(button.tool_tip());
      bo_tip.move(2, 2, bo_tip.width(), bo_tip.height());
      p1.move(button.left() - 5, button.top() + button.height() + 3, bo_tip.width() + 5,
              bo_tip.height() + 5);
      p1.set_visible(true);
    }
  } else {
    button.release_capture();
    p1.set_visible(false);
  }
  button.refresh();
}

void BA1::npc_Click(int index) {
  reset_label_colours();
  // A caption button's action moves the window, opens a menu or a question, or changes the
  // button's own tip: the hover label of the old tip goes, and the button lets go of the mouse
  // (the next move over it shows the label again).
  if (shows_hover_label(index) && npc.contains(index)) {
    p1.set_visible(false);
    npc[index].release_capture();
  }
  const auto paint_normal = [this](int button) {
    const auto cell = skin::button_cell(button, skin::Look::kNormal,
                                        window_state() == WindowState::kMaximized, chrome.pinned);
    if (cell) paint_button(button, cell->strip, cell->from);
  };
  switch (index) {
    case 0:  // minimise
      set_window_state(WindowState::kMinimized);
      paint_normal(0);
      npc[0].refresh();
      break;
    case 1:
      toggle_maximised();
      break;
    case 2:  // close
      paint_normal(2);
      close_window();
      break;
    case 4:  // pin
      toggle_pin();
      break;
    case 5:  // main menu
      paint_normal(5);
      npc[5].refresh();
      if (pop_up_main_menu) pop_up_main_menu(npc[5].left() - 15, npc[5].top() + 20);
      break;
    case 6:  // side panel
      toggle_side_panel();
      break;
    case 3:
    case 7:
    case 8:
    case 9:
    case 11:
    case 12:
    case 13:
    case 14:
    case 15:
    case 16:
      tab_click(index);
      break;
    default:  // the side panel's header bar and unknown indices do nothing
      break;
  }
}

void BA1::toggle_maximised() {
  // The window system sizes the window within its limits.
  set_window_state(window_state() == WindowState::kMaximized ? WindowState::kNormal
                                                             : WindowState::kMaximized);
  show_window_state();
  npc[npc_button::kMaximise].refresh();
}

void BA1::close_window() {
  const settings::Settings& options = settings_store.get();
  const bool quits = options.close_quits_program();
  if (options.asks_on_close()) {
    // The question is asked once per settings file; the answer decides every later close.
    // Dismissed without an answer, it leaves the window and the settings as they are and comes
    // again on the next close.
    const platform::Answer answer = services().dialogs.message_box(
        "提示：", "关闭 Pelmora 最小化到托盘吗？", platform::MessageButtons::kYesNo,
        platform::MessageIcon::kQuestion);
    if (answer != platform::Answer::kYes && answer != platform::Answer::kNo) return;
    settings_store.write_option(settings::keys::kCloseAsked, "1");
    if (answer == platform::Answer::kYes) {
      settings_store.write_option(settings::keys::kCloseQuits, "2");
      hide_to_tray();
    } else {
      settings_store.write_option(settings::keys::kCloseQuits, "1");
      ttt_v();
    }
  } else if (quits) {
    ttt_v();
  } else {
    hide_to_tray();
  }
}

void BA1::toggle_pin() {
  chrome.pinned = !chrome.pinned;
  paint_button(npc_button::kPin, 6, {chrome.pinned ? 48 : 0, 0, 24, 24});
  show_pin();
  zhi_d(chrome.pinned ? 1 : 0);
  npc[npc_button::kPin].refresh();
}

void BA1::toggle_side_panel() {
  chrome.side_panel_shown = !chrome.side_panel_shown;
  l2.set_visible(chrome.side_panel_shown);
  for (platform::PictureBox* toggle : {&npc[npc_button::kSidePanel], &bo_but[8]}) {
    toggle->set_tool_tip(chrome.side_panel_shown ? "关闭侧栏" : "显示侧栏");
  }
  side_panel_split();
  qvod_Resize();
}

void BA1::hide_to_tray() {
  // Without a notification area a hidden window could never be brought back: minimise instead.
  if (services().tray.available()) {
    hide();
  } else {
    set_window_state(WindowState::kMinimized);
  }
}

void BA1::show_pin() {
  std::string tip = chrome.pinned ? "取消置顶" : "置顶";
  // Where the desktop keeps no window above the others the pin is only the user's choice.
  if (!services().screen.keeps_windows_on_top()) tip += "（此桌面不能置顶窗口）";
  npc[4].set_tool_tip(tip);
}

void BA1::show_window_state() {
  const bool maximized = window_state() == WindowState::kMaximized;
  npc[1].set_tool_tip(maximized ? "还原" : "最大化");
  const auto cell = skin::button_cell(1, skin::Look::kNormal, maximized, chrome.pinned);
  if (cell) paint_button(1, cell->strip, cell->from);
}

void BA1::zhi_d(int on_top) {
  set_top_most(on_top == 1);
  chrome.topmost = on_top == 1;
}

void BA1::resize_hit(int action, int x, int y) {
  set_cursor(Cursor::kDefault);
  const frame::BorderZone zone = frame::border_zone(x, y, scale_width(), scale_height());
  switch (action) {
    case 0:
      set_cursor(zone.cursor);
      break;
    case 1:
      set_cursor(zone.cursor);
      if (zone.hit_code != frame::kNoHit) {
        chrome.resizing = true;
        release_mouse_capture();
        start_system_resize(frame::edge_of(zone.hit_code));
      }
      break;
    case 2:
      set_cursor(Cursor::kDefault);
      if (chrome.resizing && !chrome.moving) {
        chrome.resizing = false;
        set_capture();
      }
      break;
    default:
      break;
  }
}

void BA1::Form_MouseMove(const MouseEvent& event) {
  reset_label_colours();
  const int W = scale_width();
  const int H = scale_height();
  const bool within = event.x >= 0 && event.x <= W && event.y >= 0 && event.y <= H;
  const bool left_down = event.button == MouseButton::kLeft;
  if (within && !frame::in_interior(event.x, event.y, W, H) && !left_down) {
    resize_hit(0, event.x, event.y);
    chrome.moving = false;
    return;
  }
  set_cursor(Cursor::kDefault);
  chrome.moving = true;
  // The free surface below the top band and between the side bands drags the window (the
  // bottom band too, while the button is held); child controls never drag.
  if (window_state() != WindowState::kMaximized && left_down && event.y > frame::kBand &&
      event.x > frame::kBand && event.x < W - frame::kBand) {
    release_mouse_capture();
    start_system_move();
  }
}

void BA1::Form_MouseDown(const MouseEvent& event) {
  if (window_state() == WindowState::kMaximized) return;
  if (frame::in_interior(event.x, event.y, scale_width(), scale_height())) return;
  resize_hit(1, event.x, event.y);
  chrome.moving = false;
  // The size is saved when the window system's resize is over, and only then.
  if (system_drag_active()) {
    size_save_pending_ = true;
  } else {
    save_window_size();
  }
}

void BA1::system_drag_ended(const platform::SystemDrag&) {
  if (!size_save_pending_) return;
  size_save_pending_ = false;
  save_window_size();
}

void BA1::save_window_size() {
  if (chrome.mini_mode != 0) return;
  settings_store.write_option(settings::keys::kWidth, std::to_string(width()));
  settings_store.write_option(settings::keys::kHeight, std::to_string(height()));
}

void BA1::Form_MouseUp(const MouseEvent& event) {
  resize_hit(2, event.x, event.y);
  chrome.moving = false;
}

void BA1::Form_DblClick() {
  if (chrome.mini_mode == 0) toggle_maximised();
}

void BA1::hook_minmax(int min_width, int min_height, int max_width, int max_height) {
  const platform::Rect screen = services().screen.geometry();
  chrome.min_w = min_width;
  chrome.min_h = min_height;
  chrome.max_w = max_width != 0 ? max_width : screen.width;
  chrome.max_h = max_height != 0 ? max_height : screen.height;
  hold_layout_minimum();
}

void BA1::hold_layout_minimum() {
  // The window system (and the window's own border resizing) never makes the window smaller
  // than its layout needs: the caption buttons, the search box and the transport stay within
  // reach. Compact mode has its own, smaller minimum.
  const bool compact = chrome.mini_mode == 1;
  const int twips = twips_per_pixel();
  const int least_width =
      (compact ? layout::kCompactMinWidthTwips : layout::kMinWidthTwips + twips - 1) / twips;
  const int least_height =
      (compact ? layout::kCompactMinHeightTwips : layout::kMinHeightTwips + twips - 1) / twips;
  set_window_limits({std::max(chrome.min_w, least_width), std::max(chrome.min_h, least_height),
                     chrome.max_w, chrome.max_h});
}

void BA1::round_window() {
  // The outline is a rounded rectangle with 4-pixel corner ellipses over the window's size.
  set_rounded_corner(2);
}

}  // namespace pelmora::app
