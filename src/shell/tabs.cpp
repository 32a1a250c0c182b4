#include <string>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "platform/screen.h"
#include "shell/layout.h"
#include "shell/skin.h"

namespace pelmora::app {

namespace layout = shell::layout;
namespace skin = shell::skin;

namespace {

constexpr int kPlaybackTab = index_of(Tab::kPlayback);
constexpr int kTvTab = index_of(Tab::kTv);
constexpr int kMusicTab = index_of(Tab::kMusic);
constexpr int kCompactButton = npc_button::kCompact;
constexpr int kNowPlayingTab = index_of(Tab::kNowPlaying);
constexpr int kNetworkListTab = index_of(Tab::kNetworkList);
constexpr int kLocalListTab = index_of(Tab::kLocalList);

}  // namespace

void BA1::show_tab(Tab tab) {
  tab_click(index_of(tab));
}

void BA1::tab_click(int index) {
  switch (index) {
    case index_of(Tab::kNovels):
    case index_of(Tab::kRecommendations):
    case index_of(Tab::kFilmLibrary):
      select_tab(index);
      break;
    case kPlaybackTab:
      select_tab(kPlaybackTab);
      if (!plays_web_page()) {
        qvod.set_visible(true);
        Pic2.set_visible(false);
        Web2.navigate("about:blank");
      } else {
        qvod.set_visible(false);
        Pic2.set_visible(true);
      }
      break;
    case kTvTab:
      // The TV and music tabs share one pane: its page is loaded only when it changes.
      if (chrome.tv_page != 1) Web9.navigate(service_url("tv"));
      chrome.tv_page = 1;
      select_tab(kTvTab);
      break;
    case kMusicTab:
      if (chrome.tv_page != 2) Web9.navigate(service_url("tv/mp3.htm"));
      chrome.tv_page = 2;
      select_tab(kMusicTab);
      break;
    case kNowPlayingTab:
    case kNetworkListTab:
    case kLocalListTab:
      select_side_tab(index, 0);
      break;
    case kCompactButton:
      enter_compact_mode();
      break;
    default:
      break;
  }
}

namespace {

// The pane each main tab shows while selected (TV and music share one).
platform::PictureBox* tab_pane(BA1& window, int index) {
  switch (index) {
    case index_of(Tab::kFilmLibrary):
      return &window.zzp;
    case index_of(Tab::kPlayback):
      return &window.zz;
    case index_of(Tab::kTv):
    case index_of(Tab::kMusic):
      return &window.ying;
    case index_of(Tab::kRecommendations):
      return &window.yingyong;
    case index_of(Tab::kNovels):
      return &window.xiaoshuo;
    default:
      return nullptr;
  }
}

// The list pane each side-panel sub-tab shows, and the caption of the list label under it.
platform::PictureBox* side_tab_pane(BA1& window, int index) {
  switch (index) {
    case kNowPlayingTab:
      return &window.Pic5;
    case kNetworkListTab:
      return &window.Pic3;
    case kLocalListTab:
      return &window.Pic4;
    default:
      return nullptr;
  }
}

const char* side_tab_label(int index) {
  return index == kLocalListTab ? "∴ 清空列表" : "∴ 管理任务";
}

}  // namespace

void BA1::select_tab(int index) {
  // The selected tab's button is disabled, so it takes neither clicks nor hover.
  if (skin::is_tab(chrome.cur_tab)) {
    const skin::Cell cell = skin::tab_cell(chrome.cur_tab, false);
    paint_button(chrome.cur_tab, cell.strip, cell.from);
    tab_pane(*this, chrome.cur_tab)->set_visible(false);
  }
  if (npc.contains(chrome.cur_tab)) {
    npc[chrome.cur_tab].refresh();
    npc[chrome.cur_tab].set_enabled(true);
    npc[chrome.cur_tab].set_selected(false);
  }
  if (skin::is_tab(index)) {
    npc[index].set_enabled(false);
    npc[index].set_selected(true);
    const skin::Cell cell = skin::tab_cell(index, true);
    paint_button(index, cell.strip, cell.from);
    tab_pane(*this, index)->set_visible(true);
    npc[index].refresh();
  }
  chrome.cur_tab = index;
}

void BA1::select_side_tab(int index, int force) {
  if (index == chrome.cur_side_tab && force == 0) return;
  if (skin::is_side_tab(chrome.cur_side_tab)) {
    const skin::Cell cell = skin::side_tab_cell(chrome.cur_side_tab, false);
    paint_button(chrome.cur_side_tab, cell.strip, cell.from);
    side_tab_pane(*this, chrome.cur_side_tab)->set_visible(false);
    npc[chrome.cur_side_tab].refresh();
    npc[chrome.cur_side_tab].set_selected(false);
  }
  if (skin::is_side_tab(index)) {
    const skin::Cell cell = skin::side_tab_cell(index, true);
    paint_button(index, cell.strip, cell.from);
    side_tab_pane(*this, index)->set_visible(true);
    chrome.list_on_view = index == kLocalListTab ? ListOnView::kLocal : ListOnView::kNetwork;
    qk.set_caption(side_tab_label(index));
    npc[index].set_selected(true);
    npc[index].refresh();
  }
  chrome.cur_side_tab = index;
}

void BA1::enter_compact_mode() {
  // The TV and music pages have no player to keep on top.
  if (chrome.cur_tab > kPlaybackTab) return;
  show_tab(Tab::kPlayback);
  set_window_state(platform::WindowState::kNormal);
  // Compact mode is always on top; the pin keeps the user's own choice.
  zhi_d(1);
  chrome.mini_mode = 1;
  hold_layout_minimum();
  for (platform::Control* chrome :
       {static_cast<platform::Control*>(&bo_name), static_cast<platform::Control*>(&ni_name),
        static_cast<platform::Control*>(&soimg), static_cast<platform::Control*>(&soso),
        static_cast<platform::Control*>(&soc)}) {
    chrome->set_visible(false);
  }
  ni_bo1.set_visible(true);
  l2.set_visible(false);
  jbi.set_visible(true);
  npc.for_each([](platform::PictureBox& button) { button.set_visible(false); });
  bo_foot.set_visible(false);
  move(left(), top(), layout::kCompactWidthTwips, layout::kCompactHeightTwips);
  const auto cell = skin::button_cell(kCompactButton, skin::Look::kNormal, false, false);
  paint_button(kCompactButton, cell->strip, cell->from);
  npc[kCompactButton].refresh();
  // The size change runs the compact layout.
  Form_Resize();
}

void BA1::jbi_Click() {
  chrome.mini_mode = 0;
  if (!chrome.pinned) zhi_d(0);
  ni_name.set_caption("Pelmora 3.0");
  bo_name.set_visible(true);
  ni_name.set_visible(true);
  ni_bo1.set_visible(false);
  jbi.set_visible(false);
  soimg.set_visible(true);
  soso.set_visible(true);
  soc.set_visible(true);
  l2.set_visible(side_panel_shown());
  npc.for_each([](platform::PictureBox& button) { button.set_visible(true); });
  bo_foot.set_visible(true);

  // Back to the saved size, centred on the screen; a size below the minimum is raised by the
  // layout pass.
  const long long saved_width = settings_store.get().width_twips;
  const long long saved_height = settings_store.get().height_twips;
  const auto clamp = [](long long twips) {
    return static_cast<int>(twips < 0 ? 0 : twips > 1'000'000 ? 1'000'000 : twips);
  };
  const int new_width = clamp(saved_width);
  const int new_height = clamp(saved_height);
  const platform::Rect screen = services().screen.geometry();
  const int screen_width = screen.width * services().screen.twips_per_pixel_x();
  const int screen_height = screen.height * services().screen.twips_per_pixel_y();
  hold_layout_minimum();
  move(left(), top(), new_width, new_height);
  // The resize raises a size below the minimum before the window is centred.
  Form_Resize();
  move((screen_width - width()) / 2, (screen_height - height()) / 2, width(), height());
}

}  // namespace pelmora::app
