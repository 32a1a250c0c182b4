#include "platform/controls.h"

#include <algorithm>
#include <string>

#include "platform/backend.h"
#include "util/text_columns.h"

namespace pelmora::platform {

TextExtent estimate_text(std::string_view text) {
  constexpr int kColumn = 6;
  constexpr int kLine = 14;
  std::string plain(text);
  std::erase(plain, '\r');
  const std::string_view all(plain);
  int lines = 1;
  int widest = 0;
  std::size_t start = 0;
  for (std::size_t end = all.find('\n'); end != std::string_view::npos;
       start = end + 1, end = all.find('\n', start)) {
    widest = std::max(widest, text::display_width(all.substr(start, end - start)));
    ++lines;
  }
  widest = std::max(widest, text::display_width(all.substr(start)));
  return {widest * kColumn, lines * kLine};
}

void Label::set_auto_size(bool auto_size) {
  auto_size_ = auto_size;
  if (auto_size_) fit();
}

void Label::fit() {
  const Backend* backend = this->backend();
  const TextExtent extent =
      backend != nullptr ? backend->measure_text(caption()) : estimate_text(caption());
  move(left(), top(), extent.width, extent.height);
}

void Label::caption_changed() {
  if (auto_size_) fit();
}

void TextBox::set_text(std::string_view text) {
  if (text_ == text) return;
  text_ = text;
  notify(Property::kText);
  if (on_change) on_change();
}

void CheckBox::set_value(int value) {
  if (value_ == value) return;
  value_ = value;
  notify(Property::kValue);
  raise_click();
}

void PictureBox::set_picture(std::string_view picture) {
  picture_ = picture;
  surface_.clear();
  notify(Property::kPicture);
}

std::string PictureBox::source_name() const {
  if (index() < 0) return name();
  return name() + "(" + std::to_string(index()) + ")";
}

namespace {

bool covers(const Rect& outer, const Rect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && outer.right() >= inner.right() &&
         outer.bottom() >= inner.bottom();
}

}  // namespace

void Surface::draw(const PictureBox& source, const Rect& from, const Rect& to) {
  std::erase_if(cells_, [&](const CellCopy& old) { return covers(to, old.to); });
  const bool stretched = from.width != to.width || from.height != to.height;
  cells_.push_back(CellCopy{source.source_name(), from, to, stretched});
}

const CellCopy* Surface::cell_at(int x, int y) const {
  for (auto it = cells_.rbegin(); it != cells_.rend(); ++it) {
    if (it->to.contains(x, y)) return &*it;
  }
  return nullptr;
}

void PictureBox::draw_cell(const PictureBox& source, const Rect& from, const Rect& to) {
  surface_.draw(source, from, to);
}

void PictureBox::clear_surface() {
  surface_.clear();
  notify(Property::kPicture);
}

Timer::Timer(Form* form, std::string name, int interval_ms, bool enabled)
    : Control(form, std::move(name)), interval_(interval_ms), timer_enabled_(enabled) {}

void Timer::set_interval(int interval_ms) {
  interval_ = interval_ms;
  ++generation_;
  notify(Property::kTimer);
}

void Timer::set_timer_enabled(bool enabled) {
  if (timer_enabled_ == enabled) return;
  timer_enabled_ = enabled;
  ++generation_;
  notify(Property::kTimer);
}

void Timer::raise_timer() {
  // A timer with interval 0 never ticks, as the toolkit's.
  if (timer_enabled_ && interval_ > 0 && on_timer) on_timer();
}

void MenuItem::set_checked(bool checked) {
  if (checked_ == checked) return;
  checked_ = checked;
  notify(Property::kMenu);
}

void MenuItem::add_item(MenuItem& item) {
  items_.push_back(&item);
  item.set_container(this);
}

}  // namespace pelmora::platform
