#pragma once

#include <string>

#include "app/window_buttons.h"

namespace pelmora::app {

// Which history list the side panel's list label offers.
enum class ListOnView { kNetwork, kLocal };

// What the mute button offers: sound on ("静音"), muted ("取消静音"), or the state a volume key
// leaves ("关闭声音"), in which the first click only turns the sound on, as it already is.
enum class MuteButton { kSoundOn, kMuted, kAfterVolumeKey };

// The window's state as typed values: its toggles, frame and tabs. The controls are drawn from
// them (tooltips, button cells, captions); nothing reads a control back to learn them.
struct ChromeState {
  bool playing = false;  // the play / pause button offers pause
  MuteButton mute = MuteButton::kSoundOn;
  bool pinned = false;           // the window stays on top
  bool side_panel_shown = true;  // the playback tab's side panel
  bool shutdown_armed = false;   // the computer shuts down at the end of the item
  ListOnView list_on_view = ListOnView::kNetwork;
  // The search box has the keyboard: what is typed (a space, the arrows moving through the
  // text, an input method's keys) is the text's, not the player's.
  bool typing_search = false;
  // The title of what plays, as the transport bar and compact mode show it.
  std::string title;

  // The frame and the tabs.
  bool topmost = false;                       // the window is on top (pinned, or in compact mode)
  int mini_mode = 0;                          // 1 in compact mode
  int cur_tab = index_of(Tab::kFilmLibrary);  // the main tab on view
  int cur_side_tab = index_of(Tab::kNetworkList);  // the side panel's sub-tab on view
  int tv_page = 0;           // which page the TV and music pane holds: 1 TV, 2 music
  int skin_loaded = 0;       // 1 once a skin's strips are loaded
  bool resizing = false;     // a border resize is under way
  bool moving = false;       // the last move over the surface was a drag
  int min_w = 0, min_h = 0;  // the minimum asked for (pixels); the layout's own holds too
  int max_w = 0, max_h = 0;
  bool compact_title_wraps = false;  // compact mode's title label wraps
  // The panes: the catalogue's and the advert pane's last load failed (1).
  int home_error = 0;
  int ad_error = 0;
  // The advert pane is switched on (by the update file) and shows over the player while it
  // does not play; otherwise a paused picture stays on view.
  bool advert_shown = false;
  // The history row the list pane's menu was opened on.
  std::string list_link;
};

}  // namespace pelmora::app
