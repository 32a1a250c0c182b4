#pragma once

#include <deque>
#include <vector>

#include "platform/control.h"

namespace pelmora::platform {

// What the pointer needs of the window it serves: the form as a control, its controls, the
// control holding the capture and which controls show where. The form is one.
class PointerHost {
 public:
  virtual ~PointerHost() = default;
  virtual Control& surface() = 0;
  virtual const std::vector<Control*>& controls() const = 0;
  virtual Control* captured() const = 0;
  virtual Rect form_rect(const Control& control) const = 0;
  virtual bool shows(const Control& control) const = 0;
};

// Where the mouse goes inside one window. Both backends hand every pointer event of a form's
// window to its Pointer in the form's pixels; the Pointer picks the control that receives it and
// raises that control's events in the control's own pixels:
// - a control that holds the capture receives every event until it lets go;
// - between a press and its release, the pressed control receives the moves and the release (the
//   toolkit captures the mouse for a pressed control), and a release inside it is a click;
// - otherwise the topmost visible control under the point, searched through the containers; a
//   point over a disabled control (or one inside a disabled container) reaches nobody; a point
//   over no control reaches the form itself.
// An event that arrives while a handler of an earlier one still runs (a handler that lets
// pending events run) is kept and delivered after that handler returns, in order, so a press is
// always handled before its release.
class Pointer {
 public:
  explicit Pointer(PointerHost& form) : form_(form) {}
  Pointer(const Pointer&) = delete;
  Pointer& operator=(const Pointer&) = delete;

  // `held` is every button held down during the move.
  void move(int x, int y, MouseButton held = MouseButton::kNone, int shift = 0);
  void press(int x, int y, MouseButton button = MouseButton::kLeft, int shift = 0);
  void release(int x, int y, MouseButton button = MouseButton::kLeft, int shift = 0);
  // The second press of a double click, in place of its press.
  void double_click(int x, int y, MouseButton button = MouseButton::kLeft, int shift = 0);
  // The wheel turned at (x, y) by `delta` (see Control::on_wheel). It reaches the control under
  // the point, whatever holds the capture or the press; a control without a wheel handler hands
  // it on to its container, up to the form.
  void wheel(int x, int y, int delta);

  // A move to (x, y), a press and a release there: what a person's click does.
  void click(int x, int y, MouseButton button = MouseButton::kLeft);
  // Presses at (x0, y0), moves to (x1, y1) in `steps` moves with the button held, and lets go.
  void drag(int x0, int y0, int x1, int y1, int steps = 4);

  // The control that an event at (x, y) of the form would reach now; the form itself for its
  // own surface, null when it reaches nobody.
  Control* target_at(int x, int y) const;
  // The control pressed and not yet released, if any.
  Control* pressed() const { return pressed_; }

  // The control is going away: forget it.
  void forget(const Control* control);
  // The release of the current press will not come (the window system took it, at the end of a
  // move or resize it carried out): the press is over.
  void end_press() { pressed_ = nullptr; }

 private:
  enum class Kind { kMove, kPress, kRelease, kDoubleClick, kWheel };
  struct Event {
    Kind kind;
    int x;
    int y;
    MouseButton button;
    int shift;
    int delta = 0;  // kWheel
  };
  void post(const Event& event);
  void deliver(const Event& event);
  // The topmost control under the point among those receiving input; `blocked` tells that the
  // point lies over a disabled control.
  Control* control_under(int x, int y, bool& blocked) const;

  PointerHost& form_;
  Control* pressed_ = nullptr;
  MouseButton pressed_button_ = MouseButton::kNone;
  bool pressed_clicks_ = true;
  bool delivering_ = false;
  std::deque<Event> pending_;
};

}  // namespace pelmora::platform
