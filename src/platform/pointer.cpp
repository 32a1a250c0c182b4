#include "platform/pointer.h"

#include "platform/controls.h"

namespace pelmora::platform {

namespace {

// Controls that are drawn on the window and can be under the pointer (timers and menu items are
// neither).
bool on_screen(const Control& control) {
  return dynamic_cast<const Timer*>(&control) == nullptr &&
         dynamic_cast<const MenuItem*>(&control) == nullptr;
}

bool holds(MouseButton held, MouseButton button) {
  return (static_cast<int>(held) & static_cast<int>(button)) != 0;
}

}  // namespace

Control* Pointer::control_under(int x, int y, bool& blocked) const {
  blocked = false;
  // Down the containers from the form: at each level the topmost visible child under the point
  // (children are clipped to their container, as on screen).
  const Control* container = &form_.surface();
  Control* found = nullptr;
  int local_x = x;
  int local_y = y;
  for (;;) {
    Control* best = nullptr;
    for (Control* control : form_.controls()) {
      if (control->container() != container || !control->visible() || !on_screen(*control)) {
        continue;
      }
      if (!control->rect().contains(local_x, local_y)) continue;
      if (best == nullptr || control->z_order() > best->z_order()) best = control;
    }
    if (best == nullptr) break;
    if (!best->enabled()) {
      blocked = true;
      return nullptr;
    }
    found = best;
    local_x -= best->left();
    local_y -= best->top();
    container = best;
  }
  return found;
}

Control* Pointer::target_at(int x, int y) const {
  if (pressed_ != nullptr) return pressed_;
  if (Control* holder = form_.captured();
      holder != nullptr && holder->enabled() && form_.shows(*holder)) {
    return holder;
  }
  bool blocked = false;
  Control* under = control_under(x, y, blocked);
  if (blocked) return nullptr;
  return under != nullptr ? under : &form_.surface();
}

void Pointer::forget(const Control* control) {
  if (pressed_ == control) pressed_ = nullptr;
}

void Pointer::move(int x, int y, MouseButton held, int shift) {
  post({Kind::kMove, x, y, held, shift});
}

void Pointer::press(int x, int y, MouseButton button, int shift) {
  post({Kind::kPress, x, y, button, shift});
}

void Pointer::release(int x, int y, MouseButton button, int shift) {
  post({Kind::kRelease, x, y, button, shift});
}

void Pointer::double_click(int x, int y, MouseButton button, int shift) {
  post({Kind::kDoubleClick, x, y, button, shift});
}

void Pointer::wheel(int x, int y, int delta) {
  post({Kind::kWheel, x, y, MouseButton::kNone, 0, delta});
}

void Pointer::click(int x, int y, MouseButton button) {
  move(x, y);
  press(x, y, button);
  release(x, y, button);
}

void Pointer::drag(int x0, int y0, int x1, int y1, int steps) {
  move(x0, y0);
  press(x0, y0);
  if (steps < 1) steps = 1;
  for (int step = 1; step <= steps; ++step) {
    move(x0 + (x1 - x0) * step / steps, y0 + (y1 - y0) * step / steps, MouseButton::kLeft);
  }
  release(x1, y1);
}

void Pointer::post(const Event& event) {
  pending_.push_back(event);
  // A handler that lets pending events run re-enters here: its events wait for it to return.
  if (delivering_) return;
  delivering_ = true;
  while (!pending_.empty()) {
    const Event next = pending_.front();
    pending_.pop_front();
    deliver(next);
  }
  delivering_ = false;
}

void Pointer::deliver(const Event& event) {
  // A holder of the capture that can no longer take input lets go of it.
  if (Control* holder = form_.captured();
      holder != nullptr && (!holder->enabled() || !form_.shows(*holder))) {
    holder->release_capture();
  }
  // A pressed control that can no longer take input is let go; its release reaches nobody.
  if (pressed_ != nullptr && (!pressed_->enabled() || !form_.shows(*pressed_))) {
    pressed_ = nullptr;
    if (event.kind == Kind::kRelease) return;
  }
  // A press of the button that is already down: its release was lost on the way (the window
  // system kept it), so the earlier press is over and this one starts afresh.
  if ((event.kind == Kind::kPress || event.kind == Kind::kDoubleClick) &&
      event.button == pressed_button_) {
    pressed_ = nullptr;
  }
  if (event.kind == Kind::kWheel) {
    bool blocked = false;
    Control* under = control_under(event.x, event.y, blocked);
    if (blocked) return;
    while (under != nullptr && !under->on_wheel) under = under->container();
    (under != nullptr ? under : &form_.surface())->raise_wheel(event.delta);
    return;
  }
  Control* const target = target_at(event.x, event.y);
  if (target == nullptr) {
    if (event.kind == Kind::kRelease) pressed_ = nullptr;
    return;
  }
  const Rect place = form_.form_rect(*target);
  const MouseEvent mouse{event.button, event.shift, event.x - place.left, event.y - place.top};
  switch (event.kind) {
    case Kind::kMove:
      target->raise_mouse_move(mouse);
      break;
    case Kind::kDoubleClick:
      if (target->on_dbl_click) {
        pressed_ = target;
        pressed_button_ = event.button;
        pressed_clicks_ = false;
        target->raise_dbl_click();
        break;
      }
      [[fallthrough]];  // a control without a double-click takes it as another press
    case Kind::kPress:
      pressed_ = target;
      pressed_button_ = event.button;
      pressed_clicks_ = true;
      target->raise_mouse_down(mouse);
      break;
    case Kind::kWheel:
      break;
    case Kind::kRelease: {
      const bool was_pressed = pressed_ == target;
      const bool clicks = was_pressed && pressed_clicks_;
      pressed_ = nullptr;
      target->raise_mouse_up(mouse);
      const bool inside =
          mouse.x >= 0 && mouse.y >= 0 && mouse.x < place.width && mouse.y < place.height;
      if (clicks && inside && holds(event.button, MouseButton::kLeft)) {
        target->raise_click();
      }
      break;
    }
  }
}

}  // namespace pelmora::platform
