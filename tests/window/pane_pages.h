#pragma once

// What the window session needs to press on pages and panels by what a person sees of them: a
// page's button found by its colour, a pane whose picture moves, and the lines of a text.

#include <optional>
#include <utility>
#include <vector>

#include "window/x_session.h"

namespace pelmora::window_test {

// The first button of `colour` in a box (at least 7 pixels of it on a diagonal), as a point well
// inside it to click.
inline std::optional<std::pair<int, int>> button_of_colour(XSession& x, const Box& area,
                                                           const Rgb& colour) {
  if (area.width <= 8 || area.height <= 8) return std::nullopt;
  const Shot shot = x.grab(area);
  if (shot.pixels.empty()) return std::nullopt;
  for (int y = area.y; y + 8 < area.y + area.height; y += 2) {
    for (int at = area.x; at + 8 < area.x + area.width; at += 2) {
      if (shot.at(at, y).near(colour, 3) && shot.at(at + 6, y + 6).near(colour, 3)) {
        return std::pair{at + 8, y + 8};
      }
    }
  }
  return std::nullopt;
}

// Whether the picture in a box changes by more than `pixels` pixels within `ms`.
inline bool box_moves(XSession& x, const Box& box, int ms = 1200, int pixels = 10) {
  const Shot before = x.grab(box);
  pause_ms(ms);
  return x.grab(box).differences(before) > pixels;
}

// A line of text: the rows from its top to its bottom, and its leftmost pixel.
struct TextLine {
  int top = 0;
  int bottom = 0;
  int left = 0;
};

// The lines of text of `colour` in a box, top to bottom: runs of rows that hold such pixels,
// separated by rows that hold none.
inline std::vector<TextLine> text_lines(XSession& x, const Box& box, const Rgb& colour,
                                        int tolerance = 60) {
  std::vector<TextLine> lines;
  const Shot shot = x.grab(box);
  if (shot.pixels.empty()) return lines;
  bool inside = false;
  for (int y = box.y; y < box.y + box.height; ++y) {
    int left = -1;
    for (int at = box.x; at < box.x + box.width && left < 0; ++at) {
      if (shot.at(at, y).near(colour, tolerance)) left = at;
    }
    if (left >= 0 && !inside) lines.push_back({y, y, left});
    if (left >= 0) {
      lines.back().bottom = y;
      if (left < lines.back().left) lines.back().left = left;
    }
    inside = left >= 0;
  }
  return lines;
}

}  // namespace pelmora::window_test
