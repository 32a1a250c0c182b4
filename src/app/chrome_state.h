#pragma once

#include <string>

namespace pelmora::app {

// Which history list the side panel's list label offers.
enum class ListOnView { kNetwork, kLocal };

// What the mute button offers: sound on ("静音"), muted ("取消静音"), or the state a volume key
// leaves ("关闭声音"), in which the first click only turns the sound on, as it already is.
enum class MuteButton { kSoundOn, kMuted, kAfterVolumeKey };

// The window's toggles as typed values. The controls are drawn from them (tooltips, button
// cells, captions); nothing reads a control back to learn them.
struct ChromeState {
  bool playing = false;  // the play / pause button offers pause
  MuteButton mute = MuteButton::kSoundOn;
  bool pinned = false;           // the window stays on top
  bool side_panel_shown = true;  // the playback tab's side panel
  bool shutdown_armed = false;   // the computer shuts down at the end of the item
  ListOnView list_on_view = ListOnView::kNetwork;
  // The status line says the item was stopped: the play button plays a finished item again only
  // then.
  bool status_says_stopped = false;
  // The title of what plays, as the transport bar and compact mode show it.
  std::string title;
};

}  // namespace pelmora::app
