#include "playback/button_cells.h"

namespace pelmora::playback::cells {

std::optional<Cell> hover_cell(int index, bool playing, bool sound_on, bool over) {
  switch (index) {
    case 0: {
      const int x = playing ? 100 : 0;
      return Cell{kPlayStrip, over ? x + 50 : x, 50, 30};
    }
    case 1:
      return Cell{kStopStrip, over ? 25 : 0};
    case 2: {
      const int x = sound_on ? 0 : 50;
      return Cell{kMuteStrip, over ? x + 25 : x};
    }
    case 3:
      return Cell{over ? kOverStrip : kAwayStrip, 50};
    case 4:
      return Cell{over ? kOverStrip : kAwayStrip, 25};
    case 5:
      return Cell{kEpisodeStrip, over ? 25 : 0};
    case 7:
      return Cell{kEpisodeStrip, over ? 75 : 50};
    case 8:
      return Cell{over ? kOverStrip : kAwayStrip, 75};
    default:
      return std::nullopt;
  }
}

void paint(platform::PictureBox& button, const platform::ControlArray<platform::PictureBox>& strips,
           const Cell& cell) {
  button.draw_cell(strips[cell.strip], {cell.x, 0, cell.width, cell.height},
                   {0, 0, cell.width, cell.height});
  button.refresh();
}

}  // namespace pelmora::playback::cells
