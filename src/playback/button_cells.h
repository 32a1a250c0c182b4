#pragma once

#include <optional>
#include <string_view>

#include "platform/control_array.h"
#include "platform/controls.h"

// The sprite cells of the nine transport buttons `bo_but(0..8)`: which strip of `ppt` and which
// cell of it a button shows with the pointer away from it or over it. Button 0 (play / pause)
// has 50 x 30 cells, every other 25 x 25.
namespace pelmora::playback::cells {

struct Cell {
  int strip = 0;  // index into `ppt`
  int x = 0;      // left edge of the cell within the strip
  int width = 25;
  int height = 25;
  bool operator==(const Cell&) const = default;
};

// Strips of the transport bar.
inline constexpr int kPlayStrip = 12;
inline constexpr int kStopStrip = 13;
inline constexpr int kMuteStrip = 14;
inline constexpr int kAwayStrip = 16;  // full screen, open file, side panel, shutdown off
inline constexpr int kOverStrip = 17;  // the same with the pointer over them, shutdown armed
inline constexpr int kEpisodeStrip = 18;

// The play / pause cells: the play picture at 0, the pause picture at 100.
inline constexpr Cell kPlayCell{kPlayStrip, 0, 50, 30};
inline constexpr Cell kPauseCell{kPlayStrip, 100, 50, 30};

// The cell button `index` shows: the play / pause button by whether it offers pause
// (`playing`), the mute button by whether it offers to mute (`sound_on`). Nothing for the
// shutdown button, which keeps its picture.
std::optional<Cell> hover_cell(int index, bool playing, bool sound_on, bool over);

// Copies `cell` of its sprite strip in `strips` (the window's `ppt`) onto the top-left corner of
// `button` and shows it.
void paint(platform::PictureBox& button, const platform::ControlArray<platform::PictureBox>& strips,
           const Cell& cell);

}  // namespace pelmora::playback::cells
