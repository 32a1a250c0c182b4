#pragma once

// What the presses on the window's manners (dialogs, the window's one state, its minimum size,
// full screen) look at: where a window sits against another, and the bar over the full-screen
// picture.
#include <cstdlib>
#include <ostream>

#include "shell/layout.h"
#include "window/x_session.h"

namespace pelmora::window_test::manners {

// The layout's least size of the normal window, in pixels (rounded up).
inline constexpr int kLeastWidth = (shell::layout::kMinWidthTwips + 14) / 15;
inline constexpr int kLeastHeight = (shell::layout::kMinHeightTwips + 14) / 15;

// `inner` is centred on `outer`, within a few pixels (a window manager's frame).
inline bool centred_on(const Box& inner, const Box& outer, int slack = 16) {
  return std::abs(inner.center_x() - outer.center_x()) <= slack &&
         std::abs(inner.center_y() - outer.center_y()) <= slack;
}

// The transport bar as it comes up over the full-screen picture: centred at the bottom of the
// screen at its own size.
inline Box full_screen_bar(const XSession& x, int bar_width, int bar_height) {
  return {(x.screen_width() - bar_width) / 2, x.screen_height() - bar_height, bar_width,
          bar_height};
}

inline Box whole_screen(const XSession& x) {
  return {0, 0, x.screen_width(), x.screen_height()};
}

}  // namespace pelmora::window_test::manners

namespace pelmora::window_test {

// A window's place in failure messages: 906x586+347+207.
inline std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << box.width << "x" << box.height << "+" << box.x << "+" << box.y;
}

}  // namespace pelmora::window_test
