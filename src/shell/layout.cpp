#include "shell/layout.h"

#include <algorithm>

#include "app/main_window.h"
#include "platform/backend.h"
#include "playback/session.h"

namespace pelmora::shell::layout {

Rect browser_fill(int container_width, int container_height) {
  return {-2, -2, container_width + 4, container_height + 4};
}

SearchBox search_box(int form_width, const Rect& field, const Rect& button) {
  SearchBox box;
  box.field = {form_width - 270, 65, field.width, field.height};
  box.text = {box.field.left + 4, box.field.top + 5, box.field.width - 4, box.field.height - 10};
  box.button = {box.field.left + box.field.width, box.field.top, button.width, button.height};
  return box;
}

CaptionRow caption_row(int form_width) {
  CaptionRow row;
  row.close = {form_width - 32, 4, 24, 24};
  row.maximise = {row.close.left - 24, 4, 24, 24};
  row.minimise = {row.maximise.left - 24, 4, 24, 24};
  row.menu = {row.minimise.left - 24, 4, 24, 24};
  row.compact = {row.menu.left - 24, 4, 24, 24};
  row.pin = {row.compact.left - 24, 4, 24, 24};
  return row;
}

TabStrip tab_strip() {
  TabStrip strip;
  strip.library = {15, 30, 58, 69};
  strip.playback = {strip.library.left + 70, 30, 58, 69};
  strip.tv = {strip.playback.left + 70, 30, 58, 69};
  strip.music = {strip.tv.left + 70, 30, 58, 69};
  strip.novels = {strip.music.left + 70, 30, 58, 69};
  strip.recommendations = {strip.novels.left + 70, 30, 58, 69};
  return strip;
}

Rect pane(int form_width, int form_height) {
  return {2, kTopBand, form_width - 4, form_height - 107};
}

WaitingPanel waiting_panel(int wait_width, int pane_height, const Rect& image, const Rect& text) {
  WaitingPanel panel;
  panel.image = {(wait_width - image.width) / 2, (pane_height - image.height) / 2 - 20, image.width,
                 image.height};
  // Under the image, from its left edge, or further left where the text would run out of the
  // panel.
  panel.text = {std::max(0, std::min(panel.image.left, wait_width - text.width)),
                panel.image.top + panel.image.height + 6, text.width, text.height};
  return panel;
}

SidePanelSplit side_panel_split(int zz_width, int zz_height, bool panel_shown) {
  SidePanelSplit split;
  split.panel = {zz_width - kSidePanelWidth, 0, kSidePanelWidth, zz_height - kBottomBar};
  const int toggle_left = panel_shown ? zz_width - kSidePanelWidth : zz_width - 4;
  split.left_area = {0, 0, panel_shown ? toggle_left : zz_width, split.panel.height};
  split.toggle = {toggle_left, (zz_height - kBottomBar) / 2, 3, 40};
  split.web_area = {0, 0, split.left_area.width, split.left_area.height};
  return split;
}

SidePanelInterior side_panel_interior(int zz_width, int zz_height, int strip_height) {
  SidePanelInterior inside;
  inside.header = {0, 0, kSidePanelWidth, 28};
  inside.panel = {zz_width - kSidePanelWidth, 0, kSidePanelWidth, zz_height - kBottomBar};
  inside.now_playing = {8, 4, 60, 21};
  inside.history = {71, 4, 60, 21};
  inside.local_list = {134, 4, 60, 21};
  // The list panes read the panel's size as the row above has just set it.
  inside.list_pane = {0, inside.header.top + inside.header.height, inside.panel.width,
                      inside.panel.height - inside.header.height - strip_height};
  return inside;
}

Rect bottom_bar(int zz_width, int zz_height) {
  return {0, zz_height - kBottomBar, zz_width, kBottomBar};
}

Rect bottom_strip(int l2_width, int l2_height) {
  return {0, l2_height - 20, l2_width, 20};
}

int volume_knob_left(int bar_width, int knob_width, int volume) {
  return (bar_width - knob_width) * volume / 100;
}

PlayerArea player_area(const PlayerAreaInput& in) {
  PlayerArea area;
  area.picture = {0, 0, in.web_area_width, in.web_area_height};
  const int width = area.picture.width;
  area.seek_bar = {0, area.picture.height - in.seek_bar.height, width, in.seek_bar.height};
  area.status_bar = {0, area.seek_bar.top - in.status_bar.height, width, in.status_bar.height};
  area.player = {0, 0, width, area.status_bar.top};
  area.overlay = {0, 0, area.player.width, area.player.height};
  area.play_button = {(area.overlay.width - in.play_button.width) / 2,
                      (area.overlay.height - in.play_button.height) / 2, in.play_button.width,
                      in.play_button.height};
  // The 450 x 260 advert box is centred on the overlay; an overlay smaller than that (compact
  // mode) holds it at its own size from its top left, so the page is never cut on the left.
  const int advert_width = std::min(450, std::max(area.overlay.width, 0));
  const int advert_height = std::min(260, std::max(area.overlay.height, 0));
  area.advert_box = {(area.overlay.width - advert_width) / 2,
                     (area.overlay.height - advert_height) / 2, advert_width, advert_height};
  area.advert = browser_fill(area.advert_box.width, area.advert_box.height);
  area.next_notice = {area.play_button.left, area.play_button.top + area.play_button.height + 10,
                      in.next_notice.width, in.next_notice.height};
  area.status_text = {13, 3, in.compact ? 120 : in.status_text.width, in.status_text.height};
  area.time_text = {width - in.time_text.width - 13, 3, in.time_text.width, in.time_text.height};

  area.previous_row_first = {in.bar_width / 2 - 150, 3, 25, 25};
  area.previous = {area.previous_row_first.left + 30, 3, 25, 25};
  area.play_pause = {area.previous.left + 27, 1, 50, 30};
  area.next = {area.play_pause.left + 60, 3, 25, 25};
  area.sound = {area.next.left + 30, 3, 25, 25};
  area.volume_bar = {area.sound.left + 26, 3, 80, 24};
  area.side_panel_button = {in.form_width - 47, 3, 25, 25};
  area.full_screen = {area.side_panel_button.left - 26, 3, 25, 25};
  area.open = {area.full_screen.left - 26, 3, 25, 25};
  area.shutdown = {area.open.left - 26, 3, 25, 25};

  area.knob = {volume_knob_left(area.volume_bar.width, in.knob.width, in.volume), 7, in.knob.width,
               in.knob.height};
  area.fill = {0, 11, area.knob.left, 2};
  area.title = {20, 10, 220, 0};
  return area;
}

Rect compact_close_label(int form_width, const Rect& label) {
  return {form_width - label.width - 13, 0, label.width, label.height};
}

Rect compact_pane(int form_width, int form_height) {
  return {2, 20, form_width - 4, form_height - 23};
}

Rect compact_web_page(int web_area_width, int web_area_height) {
  return {-2, -20, web_area_width + 4, web_area_height + 20};
}

CompactTitle compact_title(int title_width, int close_label_left) {
  const int room = close_label_left - 50;
  if (title_width > room) return {true, room < 0 ? 0 : room};
  return {false, title_width};
}

int text_width(std::string_view text) {
  return platform::estimate_text(text).width;
}

}  // namespace pelmora::shell::layout

namespace pelmora::app {

namespace layout = shell::layout;

bool BA1::side_panel_shown() const {
  return chrome.side_panel_shown;
}

void BA1::Form_Resize() {
  if (window_state() == platform::WindowState::kMinimized) return;
  if (chrome.mini_mode == 1) {
    compact_layout();
    return;
  }
  if (window_state() != platform::WindowState::kMaximized) {
    // The window system raises another resize for each correction; the pass goes on with the
    // corrected size either way.
    if (width() < layout::kMinWidthTwips) set_width(layout::kMinWidthTwips);
    if (height() < layout::kMinHeightTwips) set_height(layout::kMinHeightTwips);
  }
  const int W = scale_width();
  const int H = scale_height();

  const layout::SearchBox search = layout::search_box(W, soimg.rect(), soc.rect());
  soimg.move(search.field);
  soso.move(search.text);
  soc.move(search.button);

  paint_frame();
  show_window_state();

  const layout::CaptionRow row = layout::caption_row(W);
  npc[2].move(row.close);
  npc[1].move(row.maximise);
  npc[0].move(row.minimise);
  npc[5].move(row.menu);
  npc[15].move(row.compact);
  npc[4].move(row.pin);
  const layout::TabStrip tabs = layout::tab_strip();
  npc[8].move(tabs.library);
  npc[9].move(tabs.playback);
  npc[13].move(tabs.tv);
  npc[14].move(tabs.music);
  npc[3].move(tabs.novels);
  npc[7].move(tabs.recommendations);
  zz.move(layout::pane(W, H));
  zzp.move(2, layout::kTopBand, zz.scale_width(), zz.scale_height());
  Pic1.move(0, 0, zzp.scale_width(), zzp.scale_height());
  wait.move(0, 0, Pic1.scale_width(), Pic1.scale_height());
  const layout::WaitingPanel waiting =
      layout::waiting_panel(wait.width(), zzp.height(), jia.rect(), webe.rect());
  jia.move(waiting.image);
  webe.move(waiting.text);
  Web1.move(layout::browser_fill(Pic1.width(), Pic1.height()));
  for (platform::PictureBox* page : {&ying, &yingyong, &xiaoshuo}) {
    page->move(2, layout::kTopBand, zzp.scale_width(), zzp.scale_height());
  }
  for (platform::WebBrowser* browser : {&Web9, &Web10, &Web11}) {
    browser->move(layout::browser_fill(ying.scale_width(), ying.scale_height()));
  }

  side_panel_split();
  side_panel_interior();

  bo_foot.move(layout::bottom_bar(zz.scale_width(), zz.scale_height()));
  paint_bottom_bar();
  bo_foot.refresh();

  ni_name.move(15, 8, ni_name.width(), ni_name.height());
  shan.move(layout::bottom_strip(l2.scale_width(), l2.scale_height()));
  // 6 pixels down the strip, or higher where the text would otherwise run out of the strip.
  qk.move(shan.scale_width() - 80, std::clamp(shan.scale_height() - qk.height(), 0, 6), qk.width(),
          qk.height());

  qvod_Resize();
}

void BA1::side_panel_split() {
  const bool shown = side_panel_shown();
  const layout::SidePanelSplit split = layout::side_panel_split(zz.width(), zz.height(), shown);
  npc[6].move(npc[6].left(), npc[6].top(), 3, 40);
  l2.move(split.panel);
  npc[6].move(split.toggle.left, npc[6].top(), 3, 40);
  L1.move(split.left_area);
  paint_side_toggle();
  npc[6].refresh();
  npc[6].move(split.toggle);
  Pic2.move(split.web_area);
  Web2.move(layout::browser_fill(Pic2.width(), Pic2.height()));
}

void BA1::side_panel_interior() {
  const layout::SidePanelInterior inside =
      layout::side_panel_interior(zz.width(), zz.height(), shan.scale_height());
  npc[10].move(inside.header);
  l2.move(inside.panel);
  npc[11].move(inside.now_playing);
  npc[12].move(inside.history);
  npc[16].move(inside.local_list);
  Pic3.move(inside.list_pane);
  Pic4.move(inside.list_pane);
  Pic5.move(inside.list_pane);
  Web3.move(layout::browser_fill(Pic3.width(), Pic3.height()));
  Web4.move(layout::browser_fill(Pic5.width(), Pic5.height()));
  Web5.move(layout::browser_fill(Pic5.width(), Pic5.height()));
}

void BA1::qvod_Resize() {
  if (window_state() == platform::WindowState::kMinimized) return;
  layout::PlayerAreaInput in;
  in.web_area_width = Pic2.scale_width();
  in.web_area_height = Pic2.scale_height();
  in.seek_bar = gunt.rect();
  in.status_bar = bo_zt.rect();
  in.play_button = adp.rect();
  in.next_notice = next_s.rect();
  // The status text takes the size of its text in the normal window, a fixed width in compact
  // mode.
  zhun.set_auto_size(chrome.mini_mode != 1);
  in.status_text = zhun.rect();
  in.time_text = times.rect();
  in.bar_width = bo_foot.scale_width();
  in.form_width = scale_width();
  in.knob = bo_v.rect();
  in.volume = has_player() ? session().volume() : 0;
  in.compact = chrome.mini_mode == 1;
  const layout::PlayerArea area = layout::player_area(in);

  qvod.move(area.picture);
  gunt.move(area.seek_bar);
  bo_zt.move(area.status_bar);
  player_view.move(area.player);
  bo_ad.move(area.overlay);
  adp.move(area.play_button);
  ad_huan.move(area.advert_box);
  Web7.move(area.advert);
  next_s.move(area.next_notice);
  zhun.move(area.status_text);
  times.move(area.time_text);
  huan.move(0, 0, huan.width(), huan.height());
  bo_but[1].move(area.previous_row_first);
  bo_but[5].move(area.previous);
  bo_but[0].move(area.play_pause);
  bo_but[7].move(area.next);
  bo_but[2].move(area.sound);
  yin.move(area.volume_bar);
  bo_but[8].move(area.side_panel_button);
  bo_but[3].move(area.full_screen);
  bo_but[4].move(area.open);
  bo_but[6].move(area.shutdown);
  bo_v.move(area.knob);
  bo_y.move(area.fill);
  bo_name.move(area.title.left, area.title.top, area.title.width, bo_name.height());
}

void BA1::compact_layout() {
  if (width() < layout::kCompactMinWidthTwips) set_width(layout::kCompactMinWidthTwips);
  if (height() < layout::kCompactMinHeightTwips) set_height(layout::kCompactMinHeightTwips);
  const int W = scale_width();
  const int H = scale_height();
  paint_compact_frame();
  round_window();

  jbi.move(layout::compact_close_label(W, jbi.rect()));
  if (!chrome.title.empty()) ni_name.set_caption(chrome.title);
  ni_name.fit();
  ni_bo1.set_caption(ni_name.caption());
  const layout::CompactTitle title = layout::compact_title(ni_name.width(), jbi.left());
  chrome.compact_title_wraps = title.wraps;
  if (title.wraps) {
    // Word wrap: as many lines as the text needs at that width.
    const int lines = title.width > 0 ? (ni_name.width() + title.width - 1) / title.width : 1;
    ni_bo1.move(13, 5, title.width, lines * ni_name.height());
  } else {
    ni_bo1.move(13, 5, title.width, ni_name.height());
  }

  zz.move(layout::compact_pane(W, H));
  L1.move(0, 0, zz.scale_width(), zz.scale_height());
  Pic2.move(0, 0, L1.width(), L1.height());
  Web2.move(layout::compact_web_page(Pic2.width(), Pic2.height()));
  qvod_Resize();
}

}  // namespace pelmora::app
