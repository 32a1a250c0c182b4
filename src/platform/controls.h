#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control.h"

namespace pelmora::platform {

// A text label; its caption is what it shows. A transparent label (the default) shows only its
// text over what lies behind it; an opaque one fills its rectangle with its back colour (bars).
class Label : public Control {
 public:
  using Control::Control;
  bool transparent() const { return transparent_; }
  void set_transparent(bool transparent) {
    transparent_ = transparent;
    notify(Property::kColors);
  }
  // AutoSize: the label takes the size of its caption, measured in the window's label font by
  // the form's backend, whenever the caption changes (and when the label is first attached).
  bool auto_size() const { return auto_size_; }
  void set_auto_size(bool auto_size);
  // Sizes the label to its caption now (what AutoSize does on every change).
  void fit();

 protected:
  void caption_changed() override;

 private:
  bool transparent_ = true;
  bool auto_size_ = false;
};

// A one-line text box.
class TextBox : public Control {
 public:
  using Control::Control;
  const std::string& text() const { return text_; }
  // Changes the text and raises on_change, as typing does.
  void set_text(std::string_view text);
  // TabStop: whether the keyboard focus may move into the box by itself (the Tab key, or another
  // control going away). Without it the box takes the keyboard only when it is clicked.
  bool tab_stop() const { return tab_stop_; }
  void set_tab_stop(bool tab_stop) {
    tab_stop_ = tab_stop;
    notify(Property::kTabStop);
  }
  // The prompt the box shows while it holds nothing of the user's: a text equal to it is read
  // out as the box's placeholder, not as its content.
  const std::string& hint() const { return hint_; }
  void set_hint(std::string_view hint) {
    hint_ = hint;
    notify(Property::kText);
  }
  std::function<void()> on_change;
  std::function<void()> on_got_focus;
  std::function<void()> on_lost_focus;
  // Key codes as the toolkit's KeyDown/KeyPress give them (13 is Enter).
  std::function<void(int key_ascii)> on_key_press;

 private:
  std::string text_;
  std::string hint_;
  bool tab_stop_ = true;
};

// A check box: value 1 checked, 0 cleared. Setting the value raises on_click, as the toolkit does.
class CheckBox : public Control {
 public:
  using Control::Control;
  int value() const { return value_; }
  void set_value(int value);

 private:
  int value_ = 0;
};

// A push button.
class CommandButton : public Control {
 public:
  using Control::Control;
};

// One rectangle copy onto a picture surface, as the skin painter makes it: the cell of a source
// bitmap (a sprite strip, named by its picture box) to a place on the target, stretched or not.
struct CellCopy {
  std::string source;  // name of the source picture box with its index, e.g. "ppt(12)"
  Rect from;
  Rect to;
  bool stretched = false;
  bool operator==(const CellCopy&) const = default;
};

class PictureBox;

// What has been drawn on a surface (a picture box or a form): rectangle copies from source
// pictures, later ones over earlier ones. A copy that a newer one covers completely is
// forgotten, so a surface repainted every second keeps a short record.
class Surface {
 public:
  // Copies `from` of `source`'s picture to `to` (BitBlt when the sizes agree, StretchBlt
  // otherwise).
  void draw(const PictureBox& source, const Rect& from, const Rect& to);
  void clear() { cells_.clear(); }
  const std::vector<CellCopy>& cells() const { return cells_; }
  // The last copy that covers the point, or null.
  const CellCopy* cell_at(int x, int y) const;

 private:
  std::vector<CellCopy> cells_;
};

// A picture box: a container for other controls and a surface that keeps what is drawn into it
// until it is drawn over. The model records each copy, so a test can ask exactly what was drawn
// where; a backend paints the same copies from the real bitmaps.
class PictureBox : public Control {
 public:
  using Control::Control;

  // The picture loaded into the box: a resource name ("101") or a file path; empty for none.
  const std::string& picture() const { return picture_; }
  void set_picture(std::string_view picture);

  // Copies `from` of `source`'s picture to `to` on this surface (BitBlt when the sizes agree,
  // StretchBlt otherwise). Copies that the new one covers completely are forgotten.
  void draw_cell(const PictureBox& source, const Rect& from, const Rect& to);
  // Forgets every copy (Cls).
  void clear_surface();
  const std::vector<CellCopy>& cells() const { return surface_.cells(); }
  // The last copy that covers the point, or null.
  const CellCopy* cell_at(int x, int y) const { return surface_.cell_at(x, y); }
  // Makes what was drawn visible (the toolkit's Refresh).
  void refresh() { notify(Property::kPicture); }

  // Scale size: the inner size in pixels. The model keeps it equal to the outer size.
  int scale_width() const { return width(); }
  int scale_height() const { return height(); }

  // A label for the source of copies: the name with its array index.
  std::string source_name() const;

 private:
  std::string picture_;
  Surface surface_;
};

// A timer: while enabled it raises on_timer every `interval` milliseconds. Changing the interval
// or enabling it starts a new period.
class Timer : public Control {
 public:
  Timer(Form* form, std::string name, int interval_ms, bool enabled);
  int interval() const { return interval_; }
  void set_interval(int interval_ms);
  bool timer_enabled() const { return timer_enabled_; }
  void set_timer_enabled(bool enabled);
  std::function<void()> on_timer;
  // Called by the backend's scheduler when a period ends.
  void raise_timer();
  // Which period this is: the scheduler compares it to know a tick still belongs to the current
  // period after a handler restarted the timer.
  std::uint64_t generation() const { return generation_; }

 private:
  int interval_;
  bool timer_enabled_;
  std::uint64_t generation_ = 0;
};

// One item of a popup menu; items with children are sub-menus. A caption "-" is a separator.
class MenuItem : public Control {
 public:
  using Control::Control;
  bool checked() const { return checked_; }
  void set_checked(bool checked);
  const std::vector<MenuItem*>& items() const { return items_; }
  void add_item(MenuItem& item);

 private:
  bool checked_ = false;
  std::vector<MenuItem*> items_;
};

}  // namespace pelmora::platform
