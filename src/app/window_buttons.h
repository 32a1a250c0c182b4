#pragma once

// The main window's buttons by index, written once: the caption, tab and side-panel buttons
// (the control array `npc`) and what each tab shows. The transport bar's buttons are in
// playback/transport_buttons.h.
namespace pelmora::app {

// The tabs of the main strip and of the side panel, by their button's index in `npc`.
enum class Tab : int {
  kNovels = 3,
  kRecommendations = 7,
  kFilmLibrary = 8,
  kPlayback = 9,
  kNowPlaying = 11,   // the side panel's episode list of what plays
  kNetworkList = 12,  // the side panel's network history
  kTv = 13,
  kMusic = 14,
  kLocalList = 16,  // the side panel's local history
};

constexpr int index_of(Tab tab) {
  return static_cast<int>(tab);
}

// The other buttons of `npc`.
namespace npc_button {
constexpr int kMinimise = 0;
constexpr int kMaximise = 1;
constexpr int kClose = 2;
constexpr int kPin = 4;
constexpr int kMainMenu = 5;
constexpr int kSidePanel = 6;
constexpr int kCompact = 15;
}  // namespace npc_button

// Which way an episode step goes.
enum class Direction { kPrevious, kNext };

}  // namespace pelmora::app
