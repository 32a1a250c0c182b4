#pragma once

#include <string_view>

#include "platform/control.h"

// Where the main window's controls go, as small pure functions of the sizes they depend on. Each
// function is one table of the window's layout, row by row; the main window's layout pass (BA1::
// Form_Resize and its sub-passes) applies them to the controls in the same order. All values are
// pixels of the container, except the form's own size limits, which are twips.
namespace pelmora::shell::layout {

using platform::Rect;

// The normal window never gets smaller than this (twips); a maximised one is not corrected.
inline constexpr int kMinWidthTwips = 10950;
inline constexpr int kMinHeightTwips = 7000;
// The compact window's minimum and the size it opens at (twips).
inline constexpr int kCompactMinWidthTwips = 4100;
inline constexpr int kCompactMinHeightTwips = 3000;
inline constexpr int kCompactWidthTwips = 5800;
inline constexpr int kCompactHeightTwips = 4800;

// Height of the caption and tab band at the top of the normal window, and of the bottom bar.
inline constexpr int kTopBand = 105;
inline constexpr int kBottomBar = 31;
// Width of the side panel at the right of the playback pane.
inline constexpr int kSidePanelWidth = 202;

// A browser pane fills its container with a 2-pixel overlap on each side, so the browser's own
// border falls outside the visible area.
Rect browser_fill(int container_width, int container_height);

// The search box: the field picture at the right of the tab band, the text box inside it and the
// search button after it.
struct SearchBox {
  Rect field;   // soimg, keeping its size
  Rect text;    // soso
  Rect button;  // soc, keeping its size
};
SearchBox search_box(int form_width, const Rect& field, const Rect& button);

// The caption buttons, right-aligned from the close button 32 pixels in from the right edge,
// in steps of 24: close, maximise, minimise, menu, compact, pin.
struct CaptionRow {
  Rect close;     // npc(2)
  Rect maximise;  // npc(1)
  Rect minimise;  // npc(0)
  Rect menu;      // npc(5)
  Rect compact;   // npc(15)
  Rect pin;       // npc(4)
};
CaptionRow caption_row(int form_width);

// The tab strip, from x 15 in steps of 70.
struct TabStrip {
  Rect library;          // npc(8)
  Rect playback;         // npc(9)
  Rect tv;               // npc(13)
  Rect music;            // npc(14)
  Rect novels;           // npc(3)
  Rect recommendations;  // npc(7)
};
TabStrip tab_strip();

// Every pane (zz, zzp, ying, yingyong, xiaoshuo) sits 2 pixels in from the left, right and
// bottom edges, below the top band.
Rect pane(int form_width, int form_height);

// The waiting panel's image and text, centred in the catalogue pane and lifted by 20 pixels.
struct WaitingPanel {
  Rect image;  // jia, keeping its size
  Rect text;   // webe, keeping its size
};
WaitingPanel waiting_panel(int wait_width, int pane_height, const Rect& image, const Rect& text);

// The side panel split inside the playback pane zz: the panel at the right, the left area beside
// it, and the 3 x 40 toggle on the boundary (4 pixels from the right edge while hidden),
// centred vertically over the area above the bottom bar.
struct SidePanelSplit {
  Rect panel;      // l2
  Rect toggle;     // npc(6)
  Rect left_area;  // L1
  Rect web_area;   // Pic2
};
SidePanelSplit side_panel_split(int zz_width, int zz_height, bool panel_shown);

// The side panel's header with the three sub-tabs and the list panes below it.
struct SidePanelInterior {
  Rect header;       // npc(10)
  Rect panel;        // l2 within zz
  Rect now_playing;  // npc(11)
  Rect history;      // npc(12)
  Rect local_list;   // npc(16)
  Rect list_pane;    // Pic3, Pic4, Pic5
};
SidePanelInterior side_panel_interior(int zz_width, int zz_height, int strip_height);

// The bottom bar of the playback pane, the side panel's bottom strip and its label.
Rect bottom_bar(int zz_width, int zz_height);
Rect bottom_strip(int l2_width, int l2_height);

// The player area inside the left area: the player picture box qvod, its seek and status bars,
// the player control, the advert overlay and what sits on it, and the transport row of the
// bottom bar, whose left group is centred on the bar's middle and whose right group is
// right-aligned to the form's width.
struct PlayerAreaInput {
  int web_area_width = 0;   // Pic2's inner width
  int web_area_height = 0;  // Pic2's inner height
  Rect seek_bar;            // gunt (its height is kept)
  Rect status_bar;          // bo_zt (its height is kept)
  Rect play_button;         // adp (its size is kept)
  Rect next_notice;         // next_s (its size is kept)
  Rect status_text;         // zhun (its size is kept)
  Rect time_text;           // times (its size is kept)
  int bar_width = 0;        // bo_foot's inner width
  int form_width = 0;       // the form's inner width
  Rect knob;                // bo_v (its size is kept)
  int volume = 0;           // the player's volume, 0-100
  bool compact = false;
};
struct PlayerArea {
  Rect picture;             // qvod
  Rect seek_bar;            // gunt
  Rect status_bar;          // bo_zt
  Rect player;              // QvodC
  Rect overlay;             // bo_ad
  Rect play_button;         // adp
  Rect advert_box;          // ad_huan
  Rect advert;              // Web7
  Rect next_notice;         // next_s
  Rect status_text;         // zhun
  Rect time_text;           // times
  Rect previous_row_first;  // bo_but(1)
  Rect previous;            // bo_but(5)
  Rect play_pause;          // bo_but(0)
  Rect next;                // bo_but(7)
  Rect sound;               // bo_but(2)
  Rect volume_bar;          // yin
  Rect side_panel_button;   // bo_but(8)
  Rect full_screen;         // bo_but(3)
  Rect open;                // bo_but(4)
  Rect shutdown;            // bo_but(6)
  Rect knob;                // bo_v
  Rect fill;                // bo_y
  Rect title;               // bo_name (its height is kept by the caller)
};
PlayerArea player_area(const PlayerAreaInput& in);

// The volume knob's left edge inside a volume bar: 0 at volume 0, at the bar's right end less
// the knob's width at 100.
int volume_knob_left(int bar_width, int knob_width, int volume);

// Compact mode: the close label at the top right and the playback pane under the 20-pixel
// caption band; the web playback page is pulled up 20 pixels so its own top is hidden.
Rect compact_close_label(int form_width, const Rect& label);
Rect compact_pane(int form_width, int form_height);
Rect compact_web_page(int web_area_width, int web_area_height);
// The compact title: it wraps inside the room left of the close label less 50 pixels when the
// title is wider than that room; otherwise it takes its own width.
struct CompactTitle {
  bool wraps = false;
  int width = 0;
};
CompactTitle compact_title(int title_width, int close_label_left);

// The width in pixels a label's text takes in the window's 12-pixel font (6 pixels a column,
// East Asian wide characters two columns), and the height of one line.
int text_width(std::string_view text);
inline constexpr int kLineHeight = 14;

}  // namespace pelmora::shell::layout
