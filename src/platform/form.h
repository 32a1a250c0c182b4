#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/control.h"
#include "platform/controls.h"
#include "platform/pointer.h"

namespace pelmora::platform {

class Backend;
class MenuItem;

enum class WindowState { kNormal = 0, kMinimized = 1, kMaximized = 2 };

// Size limits the window system keeps the window within, in pixels; 0 means no limit. The
// maximum is also the size a maximised window takes, at position (0, 0) of the work area.
struct WindowLimits {
  int min_width = 0;
  int min_height = 0;
  int max_width = 0;
  int max_height = 0;
  bool operator==(const WindowLimits&) const = default;
};

// The edge or corner of the window that a system resize moves.
enum class WindowEdge {
  kLeft,
  kTop,
  kRight,
  kBottom,
  kTopLeft,
  kTopRight,
  kBottomLeft,
  kBottomRight
};

// A move or resize handed to the window system, which follows the pointer until the button is
// let go and then reports the end through Form::end_system_drag.
struct SystemDrag {
  enum class Kind { kMove, kResize };
  Kind kind = Kind::kMove;
  WindowEdge edge = WindowEdge::kLeft;  // for a resize
  bool operator==(const SystemDrag&) const = default;
};

// A window. Its controls are members of the derived class; each registers itself here when it is
// constructed, so a backend can walk them and attach its peers. The form's own position and size
// are in twips; its scale (inner) size is in pixels.
class Form : public Control, public PointerHost {
 public:
  explicit Form(std::string name);
  ~Form() override;

  const std::vector<Control*>& controls() const override { return controls_; }
  Control* find(std::string_view name, int index = -1) const;

  // Twips per pixel of the screen the form is on (15 at the standard density).
  int twips_per_pixel() const { return twips_per_pixel_; }
  void set_twips_per_pixel(int twips) { twips_per_pixel_ = twips > 0 ? twips : 15; }
  // The inner size in pixels (ScaleWidth, ScaleHeight).
  int scale_width() const { return width() / twips_per_pixel_; }
  int scale_height() const { return height() / twips_per_pixel_; }

  bool loaded() const { return loaded_; }
  // Runs on_load once (Form_Load), then marks the form loaded.
  void load();
  // Shows the form (loading it first when needed).
  void show();
  void hide();
  // Closes the window: raises on_query_unload (which may cancel), then on_unload, hides the form
  // and marks it unloaded. True when it was unloaded.
  bool unload();
  bool shown() const { return shown_; }
  // Ends the form without the close events, from inside its own load handler (a later start of
  // the program that hands its work to the running one): it is not shown and its timers stop.
  void discard();

  WindowState window_state() const { return window_state_; }
  void set_window_state(WindowState state);
  bool top_most() const { return top_most_; }
  void set_top_most(bool top_most);
  // The window this one is a dialog of: it opens centred on its owner, above it, and takes the
  // keyboard when it shows. Set before the form is attached to a backend.
  Form* owner() const { return owner_; }
  void set_owner(Form* owner) { owner_ = owner; }
  bool key_preview() const { return key_preview_; }
  void set_key_preview(bool preview) { key_preview_ = preview; }
  // The keys whose key-down comes again and again while the key is held (the toolkit's
  // auto-repeat); any other key acts once per press.
  bool key_repeats(int key_code) const {
    return std::find(repeating_keys_.begin(), repeating_keys_.end(), key_code) !=
           repeating_keys_.end();
  }
  void set_repeating_keys(std::vector<int> key_codes) { repeating_keys_ = std::move(key_codes); }

  // The order in which the Tab key walks the window's controls (controls with a role, text boxes
  // that are tab stops, browser panes); Shift+Tab walks it backwards. Hidden controls are passed
  // over. A backend applies it when the form is attached.
  const std::vector<Control*>& tab_order() const { return tab_order_; }
  void set_tab_order(std::vector<Control*> order) { tab_order_ = std::move(order); }
  // The colour of the mark around the control that has the keyboard focus.
  Color focus_mark_color() const { return focus_mark_color_; }
  void set_focus_mark_color(Color color) { focus_mark_color_ = color; }

  // The control holding the mouse capture, if any.
  Control* captured() const override { return captured_; }

  // The window's mouse: backends (and tests) hand it the pointer's events in form pixels and it
  // routes them to the controls.
  Pointer& pointer() { return pointer_; }
  // A control's rectangle in the form's pixels (its place through all its containers); a control
  // that does not belong to this form's tree of containers gives an empty rectangle.
  Rect form_rect(const Control& control) const override;
  // The control shows: it and every container up to the form are visible.
  bool shows(const Control& control) const override;
  Control& surface() override { return *this; }

  // The backend the form is attached to; null before attach.
  Backend* backend() const { return backend_; }
  void set_backend(Backend* backend) { backend_ = backend; }

  // Window-level requests a backend applies to the system window (the model only records them).
  const WindowLimits& window_limits() const { return window_limits_; }
  void set_window_limits(const WindowLimits& limits);
  // Radius in pixels of the rounded outline given to the window; 0 for square corners.
  int rounded_corner() const { return rounded_corner_; }
  void set_rounded_corner(int radius);
  // Hands a move or a resize by `edge` to the window system; the request is recorded and the
  // peer told through Property::kWindowState.
  void start_system_move();
  void start_system_resize(WindowEdge edge);
  // Every move or resize requested so far, oldest first (kept short).
  const std::vector<SystemDrag>& system_drags() const { return system_drags_; }
  bool system_drag_active() const { return system_drag_active_; }
  // Called by the backend when the user lets go and the system's move or resize is over; runs
  // on_system_drag_end. Does nothing when no drag was started.
  void end_system_drag();
  std::function<void(const SystemDrag&)> on_system_drag_end;

  // The form's own drawing surface, recorded as a picture box's (the skinned frame is painted
  // on it): copies `from` of `source`'s picture to `to`, forgetting copies it covers completely.
  void draw_cell(const PictureBox& source, const Rect& from, const Rect& to);
  // Forgets every copy (Cls).
  void clear_surface();
  const std::vector<CellCopy>& cells() const { return surface_.cells(); }
  // The last copy that covers the point, or null.
  const CellCopy* cell_at(int x, int y) const { return surface_.cell_at(x, y); }
  // Makes what was drawn visible.
  void refresh() { notify(Property::kPicture); }

  // The part of the window that shows, in window pixels (the window's region or mask): every
  // rectangle handed to the window system, oldest first; the last one is in force. Empty while
  // the whole window shows.
  void set_region(const Rect& region);
  const std::vector<Rect>& regions() const { return regions_; }

  // Shows a popup menu at the pointer and returns when it closes; the chosen item's on_click has
  // run by then. Does nothing before the form is attached to a backend.
  void popup_menu(MenuItem& menu);

  std::function<void()> on_load;
  std::function<void()> on_resize;
  // The window system asks the window to close (its close command, Alt+F4). When set, the form
  // decides what closing means (the main window: its close button); otherwise it unloads.
  std::function<void()> on_close_request;
  // Return true to cancel the close.
  std::function<bool()> on_query_unload;
  std::function<void()> on_unload;
  // Something dragged over the window or dropped onto it, anywhere (its panes too): the lines of
  // addresses or text the desktop hands over. `accepts_drop` tells whether the window would take
  // them (the pointer shows it while dragging); `on_drop` receives them.
  std::function<bool(const std::vector<std::string>& items)> accepts_drop;
  std::function<void(const std::vector<std::string>& items)> on_drop;
  std::function<void(int key_code, int shift)> on_key_down;
  std::function<void(int key_code, int shift)> on_key_up;

  void raise_key_down(int key_code, int shift);
  void raise_key_up(int key_code, int shift);
  // The window's size changed: keeps the model and runs on_resize.
  void raise_resize();

 private:
  friend class Control;
  void register_control(Control* control);
  void unregister_control(Control* control);
  void capture_changed(Control* control, bool taken);
  void stop_timers();

  std::vector<Control*> controls_;
  std::vector<Control*> tab_order_;
  Color focus_mark_color_ = 0xFFFFFF;
  int twips_per_pixel_ = 15;
  bool loaded_ = false;
  bool shown_ = false;
  bool ever_shown_ = false;
  bool top_most_ = false;
  bool key_preview_ = false;
  std::vector<int> repeating_keys_;
  WindowState window_state_ = WindowState::kNormal;
  Control* captured_ = nullptr;
  Backend* backend_ = nullptr;
  Form* owner_ = nullptr;
  WindowLimits window_limits_;
  int rounded_corner_ = 0;
  std::vector<SystemDrag> system_drags_;
  bool system_drag_active_ = false;
  Surface surface_;
  std::vector<Rect> regions_;
  Pointer pointer_{*this};
};

}  // namespace pelmora::platform
