#pragma once

#include <array>
#include <optional>

#include "platform/control.h"

// The skin: 21 bitmaps held in the sprite strips ppt(0) to ppt(20), and the cells cut out of
// them for the frame and the buttons. The tables here say which cell goes where; the main
// window (BA1::p_p and the painters in skin.cpp) copies them.
namespace pelmora::shell::skin {

using platform::Rect;

inline constexpr int kStrips = 21;

// The size every skin's bitmap for strip i has, in pixels; the cells below are cut from them.
struct BitmapSize {
  int width;
  int height;
};
inline constexpr std::array<BitmapSize, kStrips> kBitmapSizes = {{
    {80, 120},  // frame
    {144, 24},  // caption buttons
    {144, 24},  // caption buttons, hover
    {1, 31},    // bottom bar
    {24, 24},   // (not drawn by the window)
    {48, 24},   // restore
    {96, 24},   // pin
    {348, 69},  // tabs, selected and hover
    {348, 69},  // tabs
    {180, 42},  // sub-tabs
    {2, 28},    // side panel header
    {6, 40},    // side panel toggle
    {200, 30},  // play / pause
    {50, 25},   // stop
    {100, 25},  // sound / muted
    {80, 24},   // volume bar
    {100, 25},  // right-hand transport buttons
    {100, 25},  // right-hand transport buttons, hover
    {100, 25},  // previous / next
    {10, 10},   // volume knob
    {90, 38},   // (not drawn by the window)
}};

// Skin n's bitmap for strip i is resource n * 100 + 101 + i.
int resource_number(int skin, int strip);
// Whether the program carries that bitmap resource (it carries skin 0, resources 101 to 121).
bool carried(int resource);

// One piece of the frame: a rectangle of ppt(0) stretched onto the form.
struct Piece {
  Rect to;
  Rect from;
};
// The normal frame, nine-slice style: sides, bottom edge and corners, the 105-pixel top band and
// its corners, in the order they are drawn.
std::array<Piece, 8> frame_pieces(int form_width, int form_height);
// The compact frame: 7-pixel borders and a 20-pixel caption band.
std::array<Piece, 8> compact_frame_pieces(int form_width, int form_height);

// One cell of a sprite strip, copied to a button's top-left corner at its own size.
struct Cell {
  int strip = 0;
  Rect from;
  bool operator==(const Cell&) const = default;
};

// The look a button is painted in.
enum class Look { kNormal, kHover };

// The cell of button npc(index) for a look, or nothing where the button has no such cell (the
// header bar, the toggle's hover, the history sub-tab's hover). The maximise button depends on
// the window being maximised, the pin on the window being pinned (its tooltip "取消置顶").
std::optional<Cell> button_cell(int index, Look look, bool maximised, bool pinned);
// The side-panel toggle's column: x 0 while the panel is shown, x 3 while it is hidden.
Cell side_toggle_cell(bool panel_shown);

// Main tabs (3, 7, 8, 9, 13, 14): ppt(8) normal, ppt(7) selected or hovered.
bool is_tab(int index);
Cell tab_cell(int index, bool selected);
// Side-panel sub-tabs (11, 12, 16): ppt(9), row y 0 selected, y 21 normal.
bool is_side_tab(int index);
Cell side_tab_cell(int index, bool selected);

}  // namespace pelmora::shell::skin
