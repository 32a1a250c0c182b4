#include "shell/skin.h"

#include <string>

#include "app/main_window.h"
#include "app/window_buttons.h"
#include "shell/layout.h"

namespace pelmora::shell::skin {

int resource_number(int skin, int strip) {
  return skin * 100 + 101 + strip;
}

bool carried(int resource) {
  return resource >= resource_number(0, 0) && resource <= resource_number(0, kStrips - 1);
}

std::array<Piece, 8> frame_pieces(int W, int H) {
  return {{
      {{0, 105, 35, H - 105}, {0, 105, 35, 10}},        // left side
      {{W - 35, 105, 35, H - 105}, {45, 105, 35, 10}},  // right side
      {{35, H - 5, W - 70, 5}, {35, 115, 10, 5}},       // bottom edge
      {{0, H - 5, 35, 5}, {0, 115, 35, 5}},             // bottom-left corner
      {{W - 35, H - 5, 35, 5}, {45, 115, 35, 5}},       // bottom-right corner
      {{40, 0, W - 70, 105}, {40, 0, 10, 105}},         // top band
      {{0, 0, 40, 105}, {0, 0, 40, 105}},               // top-left corner
      {{W - 30, 0, 30, 105}, {50, 0, 30, 105}},         // top-right corner
  }};
}

std::array<Piece, 8> compact_frame_pieces(int W, int H) {
  return {{
      {{0, 20, 7, H - 27}, {0, 78, 7, 10}},       // left side
      {{W - 7, 20, 7, H - 27}, {73, 78, 7, 10}},  // right side
      {{3, H - 7, W - 6, 7}, {35, 23, 10, 7}},    // bottom edge
      {{0, H - 7, 3, 7}, {0, 101, 3, 7}},         // bottom-left corner
      {{W - 7, H - 7, 7, 7}, {73, 23, 7, 7}},     // bottom-right corner
      {{7, 0, W - 14, 20}, {35, 0, 10, 20}},      // top band
      {{0, 0, 7, 20}, {0, 0, 7, 20}},             // top-left corner
      {{W - 7, 0, 7, 20}, {73, 0, 7, 20}},        // top-right corner
  }};
}

namespace {

Cell caption_cell(int strip, int x) {
  return {strip, {x, 0, 24, 24}};
}

// The left edge of each main tab's cell in ppt(7) and ppt(8).
int tab_x(int index) {
  switch (index) {
    case app::index_of(app::Tab::kFilmLibrary):
      return 0;
    case app::index_of(app::Tab::kPlayback):
      return 58;
    case app::index_of(app::Tab::kTv):
      return 116;
    case app::index_of(app::Tab::kMusic):
      return 174;
    case app::index_of(app::Tab::kRecommendations):
      return 232;
    case app::index_of(app::Tab::kNovels):
      return 290;
    default:
      return -1;
  }
}

// The left edge of each sub-tab's column in ppt(9).
int side_tab_x(int index) {
  switch (index) {
    case app::index_of(app::Tab::kNowPlaying):
      return 0;
    case app::index_of(app::Tab::kNetworkList):
      return 60;
    case app::index_of(app::Tab::kLocalList):
      return 120;
    default:
      return -1;
  }
}

}  // namespace

bool is_tab(int index) {
  return tab_x(index) >= 0;
}

Cell tab_cell(int index, bool selected) {
  return {selected ? 7 : 8, {tab_x(index), 0, 58, 69}};
}

bool is_side_tab(int index) {
  return side_tab_x(index) >= 0;
}

Cell side_tab_cell(int index, bool selected) {
  return {9, {side_tab_x(index), selected ? 0 : 21, 60, 21}};
}

Cell side_toggle_cell(bool panel_shown) {
  return {11, {panel_shown ? 0 : 3, 0, 3, 40}};
}

std::optional<Cell> button_cell(int index, Look look, bool maximised, bool pinned) {
  const bool hover = look == Look::kHover;
  const int caption_strip = hover ? 2 : 1;
  switch (index) {
    case 0:
      return caption_cell(caption_strip, 72);  // minimise
    case 2:
      return caption_cell(caption_strip, 120);  // close
    case 5:
      return caption_cell(caption_strip, 48);  // menu
    case 15:
      return caption_cell(caption_strip, 0);  // compact mode
    case 1:                                   // maximise / restore
      if (maximised) return caption_cell(5, hover ? 24 : 0);
      return caption_cell(caption_strip, 96);
    case 4:  // pin
      return caption_cell(6, (pinned ? 48 : 0) + (hover ? 24 : 0));
    case 6:
      if (hover) return std::nullopt;
      return side_toggle_cell(true);
    case 11:
    case 16:
      if (hover) return std::nullopt;
      return side_tab_cell(index, false);
    case 12:  // the history sub-tab keeps its picture under the pointer
      if (hover) return std::nullopt;
      return side_tab_cell(index, false);
    default:
      if (is_tab(index)) return tab_cell(index, hover);
      return std::nullopt;  // the header bar is stretched, not cut
  }
}

}  // namespace pelmora::shell::skin

namespace pelmora::app {

namespace skin = shell::skin;

void BA1::paint_button(int index, int strip, const platform::Rect& cell) {
  npc[index].draw_cell(ppt[strip], cell, {0, 0, cell.width, cell.height});
}

void BA1::p_p(int skin_number) {
  for (int i = 0; i < skin::kStrips; ++i) {
    // A skin whose bitmaps the program does not carry leaves the strips as they were, so the
    // repaint below shows the previous skin.
    const int resource = skin::resource_number(skin_number, i);
    if (skin::carried(resource)) ppt[i].set_picture(std::to_string(resource));
  }
  if (chrome.skin_loaded == 1) {
    if (chrome.mini_mode == 1) {
      // The compact window keeps its own frame and its full-width player: the normal frame and
      // the side panel split would paint a 105-pixel caption band over it and narrow the player.
      compact_layout();
    } else {
      paint_frame();
      side_panel_split();
    }
  }
  chrome.skin_loaded = 1;
  paint_all();
  select_side_tab(chrome.cur_side_tab, 1);
  tab_click(chrome.cur_tab);
}

void BA1::paint_frame() {
  clear_surface();
  for (const skin::Piece& piece : skin::frame_pieces(scale_width(), scale_height())) {
    draw_cell(ppt[0], piece.from, piece.to);
  }
  refresh();
  round_window();
}

void BA1::paint_compact_frame() {
  for (const skin::Piece& piece : skin::compact_frame_pieces(scale_width(), scale_height())) {
    draw_cell(ppt[0], piece.from, piece.to);
  }
  refresh();
}

void BA1::paint_bottom_bar() {
  bo_foot.draw_cell(ppt[3], {0, 0, 1, 31}, {0, 0, bo_foot.scale_width(), 31});
  bo_foot.refresh();
}

void BA1::paint_side_toggle() {
  const skin::Cell cell = skin::side_toggle_cell(side_panel_shown());
  npc[6].draw_cell(ppt[cell.strip], cell.from, {0, 0, 3, 40});
  npc[6].refresh();
}

void BA1::paint_all() {
  const bool maximised = window_state() == platform::WindowState::kMaximized;
  const bool pinned = chrome.pinned;
  for (int index : {2, 1, 0, 5, 15, 4}) {
    const skin::Cell cell = *skin::button_cell(index, skin::Look::kNormal, maximised, pinned);
    paint_button(index, cell.strip, cell.from);
  }
  for (int index : {8, 9, 13, 14, 7, 3}) {
    const skin::Cell cell = skin::tab_cell(index, false);
    paint_button(index, cell.strip, cell.from);
  }
  // The header is stretched one pixel wider than the bar, as the skin was drawn for.
  npc[10].draw_cell(ppt[10], {0, 0, 2, 28}, {0, 0, 203, 28});
  for (int index : {11, 16}) {
    const skin::Cell cell = skin::side_tab_cell(index, false);
    paint_button(index, cell.strip, cell.from);
  }
  npc.for_each([](platform::PictureBox& button) { button.refresh(); });

  const auto paint_transport = [this](int index, int strip, int x, int width, int height) {
    bo_but[index].draw_cell(ppt[strip], {x, 0, width, height}, {0, 0, width, height});
  };
  paint_transport(0, 12, 0, 50, 30);
  paint_transport(1, 13, 0, 25, 25);
  paint_transport(2, 14, 0, 25, 25);
  yin.set_picture(ppt[15].picture());
  bo_v.set_picture(ppt[19].picture());
  paint_transport(8, 16, 75, 25, 25);
  paint_transport(3, 16, 50, 25, 25);
  paint_transport(4, 16, 25, 25, 25);
  paint_transport(6, 16, 0, 25, 25);
  paint_transport(5, 18, 0, 25, 25);
  paint_transport(7, 18, 50, 25, 25);
  bo_but.for_each([](platform::PictureBox& button) { button.refresh(); });
}

}  // namespace pelmora::app
