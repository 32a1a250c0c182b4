#include "platform/control.h"

namespace pelmora::platform {

namespace {

// Stacking values are handed out in order for the whole program, so a later control or one
// brought to the front lies above every earlier one.
std::uint64_t next_z_order() {
  static std::uint64_t next = 0;
  return ++next;
}

}  // namespace

Control::Control(Form* form, std::string name, int index)
    : form_(form), name_(std::move(name)), index_(index), z_order_(next_z_order()) {
  if (form_ != nullptr) joined(*form_, *this);
}

Control::~Control() {
  if (peer_ != nullptr) peer_->released(*this);
  if (form_ != nullptr) left(*form_, *this);
}

void Control::set_container(Control* container) {
  container_ = container;
  notify(Property::kGeometry);
}

void Control::move(int left, int top, int width, int height) {
  // A negative size is clamped, as the toolkit refuses it.
  const Rect rect{left, top, width < 0 ? 0 : width, height < 0 ? 0 : height};
  if (rect == rect_) return;
  rect_ = rect;
  notify(Property::kGeometry);
}

void Control::set_visible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  if (!visible_) release_capture();
  notify(Property::kVisible);
}

void Control::set_enabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  // The window system cancels a disabled window's capture; a control that kept it would take
  // every later mouse event of the window and ignore it.
  if (!enabled_) release_capture();
  notify(Property::kEnabled);
}

void Control::set_caption(std::string_view caption) {
  if (caption_ == caption) return;
  caption_ = caption;
  caption_changed();
  notify(Property::kCaption);
}

void Control::set_tool_tip(std::string_view tip) {
  if (tool_tip_ == tip) return;
  tool_tip_ = tip;
  notify(Property::kToolTip);
}

void Control::set_fore_color(Color color) {
  if (fore_color_ == color) return;
  fore_color_ = color;
  notify(Property::kColors);
}

void Control::set_back_color(Color color) {
  if (back_color_ == color) return;
  back_color_ = color;
  notify(Property::kColors);
}

void Control::set_cursor(Cursor cursor) {
  if (cursor_ == cursor) return;
  cursor_ = cursor;
  notify(Property::kCursor);
}

void Control::set_capture() {
  if (form_ != nullptr) capture_moved(*form_, *this, true);
  captured_ = true;
  notify(Property::kCapture);
}

void Control::release_capture() {
  if (!captured_) return;
  captured_ = false;
  if (form_ != nullptr) capture_moved(*form_, *this, false);
  notify(Property::kCapture);
}

void Control::bring_to_front() {
  z_order_ = next_z_order();
  notify(Property::kZOrder);
}
void Control::set_focus() {
  notify(Property::kFocus);
}

void Control::set_access(AccessRole role, std::string_view name) {
  access_role_ = role;
  access_name_ = name;
  notify(Property::kAccess);
}

std::string Control::access_name() const {
  const std::string& shown = !access_name_.empty() ? access_name_
                             : !tool_tip_.empty()  ? tool_tip_
                                                   : caption_;
  // Captions carry line breaks and padding for their place on screen, not for reading.
  const auto first = shown.find_first_not_of(" \r\n\t");
  if (first == std::string::npos) return {};
  const auto last = shown.find_last_not_of(" \r\n\t");
  return shown.substr(first, last - first + 1);
}

void Control::set_selected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  notify(Property::kAccess);
}

void Control::raise_click() {
  if (enabled_ && on_click) on_click();
}

void Control::raise_dbl_click() {
  if (enabled_ && on_dbl_click) on_dbl_click();
}

void Control::raise_mouse_down(const MouseEvent& event) {
  if (enabled_ && on_mouse_down) on_mouse_down(event);
}

void Control::raise_mouse_move(const MouseEvent& event) {
  if (enabled_ && on_mouse_move) on_mouse_move(event);
}

void Control::raise_mouse_up(const MouseEvent& event) {
  if (enabled_ && on_mouse_up) on_mouse_up(event);
}

void Control::raise_wheel(int delta) {
  if (enabled_ && on_wheel) on_wheel(delta);
}

void Control::notify(Property what) {
  if (peer_ != nullptr) peer_->changed(*this, what);
}

}  // namespace pelmora::platform
