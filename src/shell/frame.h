#pragma once

#include "platform/control.h"
#include "platform/form.h"

// The borderless window's own frame: the 3-pixel band along its edges in which the pointer
// resizes the window, and the hit codes that name each edge and corner to the window system.
namespace pelmora::shell::frame {

// Width of the resize band along the window's edges, in pixels.
inline constexpr int kBand = 3;

// The window system's names of the window's parts (the codes of a non-client hit test).
enum HitCode : int {
  kNoHit = 0,
  kCaption = 2,
  kLeft = 10,
  kRight = 11,
  kTop = 12,
  kTopLeft = 13,
  kTopRight = 14,
  kBottom = 15,
  kBottomLeft = 16,
  kBottomRight = 17,
};

struct BorderZone {
  platform::Cursor cursor = platform::Cursor::kDefault;
  int hit_code = kNoHit;
  bool operator==(const BorderZone&) const = default;
};

// The zone under the pointer at (x, y) of a window `width` x `height` pixels: the right edge's
// corners and side, then the top and bottom edges, the interior, and the left edge's corners and
// side, tested in that order. The bands include their inner line (x = 3 is in the left band).
BorderZone border_zone(int x, int y, int width, int height);

// Inside the resize bands on every side.
bool in_interior(int x, int y, int width, int height);

// The edge a resize with a hit code moves.
platform::WindowEdge edge_of(int hit_code);

}  // namespace pelmora::shell::frame
