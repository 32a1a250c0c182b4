#include "platform/form.h"

#include <algorithm>

#include "platform/backend.h"
#include "platform/controls.h"

namespace pelmora::platform {

void Control::joined(Form& form, Control& control) {
  control.container_ = &form;
  form.register_control(&control);
}

void Control::left(Form& form, Control& control) {
  form.unregister_control(&control);
}

void Control::capture_moved(Form& form, Control& control, bool taken) {
  form.capture_changed(&control, taken);
}

const Backend* Control::backend() const {
  return form_ != nullptr ? form_->backend() : nullptr;
}

Form::Form(std::string name) : Control(nullptr, std::move(name)) {}

Form::~Form() {
  if (backend_ != nullptr) backend_->detach(*this);
}

void Form::register_control(Control* control) {
  controls_.push_back(control);
}

void Form::unregister_control(Control* control) {
  std::erase(controls_, control);
  std::erase(tab_order_, control);
  if (captured_ == control) captured_ = nullptr;
  pointer_.forget(control);
}

Rect Form::form_rect(const Control& control) const {
  Rect rect{0, 0, control.width(), control.height()};
  if (&control == this) return {0, 0, scale_width(), scale_height()};
  const Control* at = &control;
  // A container chain is short; the bound only guards against a loop.
  for (int depth = 0; at != this && depth < 64; ++depth) {
    if (at == nullptr || at->form() != this) return {};
    rect.left += at->left();
    rect.top += at->top();
    at = at->container();
  }
  return at == this ? rect : Rect{};
}

bool Form::shows(const Control& control) const {
  const Control* at = &control;
  for (int depth = 0; at != this && depth < 64; ++depth) {
    if (at == nullptr || !at->visible()) return false;
    at = at->container();
  }
  return at == this;
}

Control* Form::find(std::string_view name, int index) const {
  for (Control* control : controls_) {
    if (control->name() == name && control->index() == index) return control;
  }
  return nullptr;
}

void Form::load() {
  if (loaded_) return;
  loaded_ = true;
  if (on_load) on_load();
}

void Form::show() {
  load();
  // A form may unload itself while loading (a second start ends inside its load handler).
  if (!loaded_) return;
  const bool first_time = !ever_shown_;
  ever_shown_ = true;
  shown_ = true;
  set_visible(true);
  notify(Property::kWindowState);
  // A window is laid out when it first appears, as the toolkit raises its first resize then.
  if (first_time) raise_resize();
}

void Form::hide() {
  if (captured_ != nullptr) captured_->release_capture();
  shown_ = false;
  set_visible(false);
  notify(Property::kWindowState);
}

void Form::discard() {
  loaded_ = false;
  hide();
  stop_timers();
}

bool Form::unload() {
  if (!loaded_) return true;
  if (on_query_unload && on_query_unload()) return false;
  if (on_unload) on_unload();
  loaded_ = false;
  hide();
  stop_timers();
  return true;
}

void Form::stop_timers() {
  for (Control* control : controls_) {
    if (auto* timer = dynamic_cast<Timer*>(control)) timer->set_timer_enabled(false);
  }
}

void Form::set_window_state(WindowState state) {
  if (window_state_ == state) return;
  // A minimised window sees no pointer: nothing in it keeps the capture.
  if (state == WindowState::kMinimized && captured_ != nullptr) captured_->release_capture();
  window_state_ = state;
  notify(Property::kWindowState);
}

void Form::set_top_most(bool top_most) {
  if (top_most_ == top_most) return;
  top_most_ = top_most;
  notify(Property::kWindowState);
}

void Form::set_window_limits(const WindowLimits& limits) {
  if (window_limits_ == limits) return;
  window_limits_ = limits;
  notify(Property::kWindowState);
}

void Form::set_rounded_corner(int radius) {
  if (rounded_corner_ == radius) return;
  rounded_corner_ = radius;
  notify(Property::kWindowState);
}

namespace {

// Enough history for a test to see the last few requests without growing for ever.
constexpr std::size_t kKeptDrags = 32;

}  // namespace

void Form::start_system_move() {
  if (system_drags_.size() >= kKeptDrags) system_drags_.erase(system_drags_.begin());
  system_drags_.push_back(SystemDrag{SystemDrag::Kind::kMove, WindowEdge::kLeft});
  system_drag_active_ = true;
  notify(Property::kWindowState);
}

void Form::start_system_resize(WindowEdge edge) {
  if (system_drags_.size() >= kKeptDrags) system_drags_.erase(system_drags_.begin());
  system_drags_.push_back(SystemDrag{SystemDrag::Kind::kResize, edge});
  system_drag_active_ = true;
  notify(Property::kWindowState);
}

void Form::end_system_drag() {
  if (!system_drag_active_) return;
  system_drag_active_ = false;
  // The window system kept the release that ended the drag.
  pointer_.end_press();
  if (on_system_drag_end) on_system_drag_end(system_drags_.back());
}

void Form::draw_cell(const PictureBox& source, const Rect& from, const Rect& to) {
  surface_.draw(source, from, to);
}

void Form::clear_surface() {
  surface_.clear();
  notify(Property::kPicture);
}

void Form::set_region(const Rect& region) {
  regions_.push_back(region);
  notify(Property::kWindowState);
}

void Form::popup_menu(MenuItem& menu) {
  if (backend_ != nullptr) backend_->popup_menu(*this, menu);
}

void Form::raise_key_down(int key_code, int shift) {
  if (on_key_down) on_key_down(key_code, shift);
}

void Form::raise_key_up(int key_code, int shift) {
  if (on_key_up) on_key_up(key_code, shift);
}

void Form::raise_resize() {
  if (on_resize) on_resize();
}

void Form::capture_changed(Control* control, bool taken) {
  if (taken) {
    // Only one control holds the capture; taking it releases the previous holder.
    if (captured_ != nullptr && captured_ != control) captured_->release_capture();
    captured_ = control;
  } else if (captured_ == control) {
    captured_ = nullptr;
  }
}

}  // namespace pelmora::platform
