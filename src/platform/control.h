#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The control model: forms and their controls as plain objects that hold what a window toolkit
// control holds (position, size, visibility, caption, tip, colours, ...) and raise events
// through handlers the form sets. The program's own code reads and writes controls only through
// this model; a backend attaches a peer to each control and mirrors every change on screen. The
// headless backend keeps the model only, so a test reads `zhun.caption()` exactly as the
// program does.
namespace pelmora::platform {

class Backend;
class Form;
class Control;

// A rectangle in the units of the control's container (pixels; a form's own size is in twips).
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
  int right() const { return left + width; }
  int bottom() const { return top + height; }
  bool contains(int x, int y) const { return x >= left && x < right() && y >= top && y < bottom(); }
};

// What changed on a control, so that a peer updates only that.
enum class Property {
  kGeometry,
  kVisible,
  kEnabled,
  kCaption,
  kToolTip,
  kColors,
  kText,
  kValue,
  kPicture,  // the drawn cells or the loaded picture
  kCursor,
  kCapture,  // mouse capture taken or released
  kZOrder,
  kFocus,
  kTabStop,      // whether the keyboard focus may move into the control by itself
  kTimer,        // a timer's interval or enabled state
  kMenu,         // a menu item's caption, check mark, visibility or enabled state
  kWindowState,  // a form's minimised / maximised / normal state, top-most or shown state
  kNavigation,   // a browser pane's address or document
  kAccess,       // what assistive technology reads: the role, a tab's selection, a bar's value
};

// What a control is to a person who cannot see the skin: the program draws its buttons, tabs and
// bars on picture boxes and labels, so the toolkit cannot tell a screen reader or the keyboard
// what they are. A control with a role is read by its name, takes the keyboard focus by the Tab
// key and acts on keys (platform/access.h).
enum class AccessRole {
  kNone,     // a surface, a container or a decoration
  kButton,   // pressed by a click, Space or Enter
  kPageTab,  // one of a strip of tabs; the arrows move to its neighbours
  kSlider,   // a bar with a value between a minimum and a maximum; the arrows move it
};

// A bar's value as a screen reader reads it.
struct AccessValue {
  int current = 0;
  int minimum = 0;
  int maximum = 0;
  bool operator==(const AccessValue&) const = default;
};

// A backend's mirror of one control. The model calls `changed` after every change; the peer
// must not change the model from inside it.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void changed(Control& control, Property what) = 0;
  // The control is being destroyed; the peer must forget it.
  virtual void released(Control& control) { (void)control; }
};

enum class MouseButton { kNone = 0, kLeft = 1, kRight = 2, kMiddle = 4 };

// Mouse input in the control's own pixels, as the toolkit reports it.
struct MouseEvent {
  MouseButton button = MouseButton::kNone;
  int shift = 0;  // 1 shift, 2 control, 4 alt
  int x = 0;
  int y = 0;
};

// Mouse pointer shapes the program asks for.
enum class Cursor { kDefault, kArrow, kHand, kSizeWE, kSizeNS, kSizeNWSE, kSizeNESW, kSizeAll };

// Colours as 0x00BBGGRR, the form the program stores them in (5921370 is grey 5A5A5A).
using Color = std::uint32_t;

class Control {
 public:
  // `index` is the control's index in its control array, or -1 for a single control.
  Control(Form* form, std::string name, int index = -1);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& name() const { return name_; }
  int index() const { return index_; }
  Form* form() const { return form_; }
  // The backend the control's form is attached to; null without a form or before attach.
  const Backend* backend() const;

  // The control that contains this one (a picture box or the form); null for a form.
  Control* container() const { return container_; }
  void set_container(Control* container);

  const Rect& rect() const { return rect_; }
  int left() const { return rect_.left; }
  int top() const { return rect_.top; }
  int width() const { return rect_.width; }
  int height() const { return rect_.height; }
  // Moves and sizes the control in one step, as the toolkit's Move does.
  void move(int left, int top, int width, int height);
  void move(const Rect& rect) { move(rect.left, rect.top, rect.width, rect.height); }
  void set_left(int left) { move(left, rect_.top, rect_.width, rect_.height); }
  void set_top(int top) { move(rect_.left, top, rect_.width, rect_.height); }
  void set_width(int width) { move(rect_.left, rect_.top, width, rect_.height); }
  void set_height(int height) { move(rect_.left, rect_.top, rect_.width, height); }

  bool visible() const { return visible_; }
  void set_visible(bool visible);
  bool enabled() const { return enabled_; }
  void set_enabled(bool enabled);

  const std::string& caption() const { return caption_; }
  void set_caption(std::string_view caption);
  const std::string& tool_tip() const { return tool_tip_; }
  void set_tool_tip(std::string_view tip);

  Color fore_color() const { return fore_color_; }
  void set_fore_color(Color color);
  Color back_color() const { return back_color_; }
  void set_back_color(Color color);

  Cursor cursor() const { return cursor_; }
  void set_cursor(Cursor cursor);

  // Mouse capture: while a control holds it, every mouse event of the window goes to it. A
  // control that is disabled or hidden lets go of it, so it can never keep the mouse from the
  // rest of the window.
  bool has_capture() const { return captured_; }
  void set_capture();
  void release_capture();

  void bring_to_front();  // ZOrder 0
  // Stacking among the controls of one container: a higher value lies above a lower one. A
  // control lies above those made before it until one of them is brought to the front.
  std::uint64_t z_order() const { return z_order_; }
  void set_focus();

  AccessRole access_role() const { return access_role_; }
  // Gives the control its role and the name it is read by. Without a name of its own a control
  // is read by its tooltip, else by its caption: what the user sees of it on hover or on screen.
  void set_access(AccessRole role, std::string_view name = {});
  std::string access_name() const;
  // The name given by set_access alone (empty when the control is read by its tip or caption).
  const std::string& own_access_name() const { return access_name_; }
  // A page tab is the selected one of its strip.
  bool selected() const { return selected_; }
  void set_selected(bool selected);
  // A slider's value, asked for when it is read; tell_value_changed announces a change.
  std::function<AccessValue()> access_value;
  void tell_value_changed() { notify(Property::kAccess); }
  // A focused slider's arrow keys: +1 one step up (Right, Up), -1 one step down (Left, Down).
  std::function<void(int direction)> on_step;

  // The backend's mirror; null in the headless backend.
  ControlPeer* peer() const { return peer_; }
  void attach_peer(ControlPeer* peer) { peer_ = peer; }

  // Event handlers, set by the owning form. The backend (or a test) raises them through the
  // raise_* calls, which do nothing when no handler is set or the control is disabled.
  std::function<void()> on_click;
  std::function<void()> on_dbl_click;
  std::function<void(const MouseEvent&)> on_mouse_down;
  std::function<void(const MouseEvent&)> on_mouse_move;
  std::function<void(const MouseEvent&)> on_mouse_up;
  // The mouse wheel turned over the control: `delta` in eighths of a degree, positive when
  // turned away from the user (120 for one notch of a common wheel, less from a touchpad).
  std::function<void(int delta)> on_wheel;

  void raise_click();
  void raise_dbl_click();
  void raise_mouse_down(const MouseEvent& event);
  void raise_mouse_move(const MouseEvent& event);
  void raise_mouse_up(const MouseEvent& event);
  void raise_wheel(int delta);

 protected:
  void notify(Property what);
  // Runs after the caption changed, before the peer hears of it.
  virtual void caption_changed() {}

 private:
  // The form's side of a control's arrival, departure and capture (kept with the form).
  static void joined(Form& form, Control& control);
  static void left(Form& form, Control& control);
  static void capture_moved(Form& form, Control& control, bool taken);

  Form* form_;
  std::string name_;
  int index_;
  Control* container_ = nullptr;
  Rect rect_;
  bool visible_ = true;
  bool enabled_ = true;
  std::string caption_;
  std::string tool_tip_;
  Color fore_color_ = 0x000000;
  Color back_color_ = 0xFFFFFF;
  Cursor cursor_ = Cursor::kDefault;
  bool captured_ = false;
  std::uint64_t z_order_;
  AccessRole access_role_ = AccessRole::kNone;
  std::string access_name_;
  bool selected_ = false;
  ControlPeer* peer_ = nullptr;
};

}  // namespace pelmora::platform
