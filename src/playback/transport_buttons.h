#pragma once

// The transport bar's buttons (the control array `bo_but`) by index, for the code that presses
// them: the bar's own handlers, the desktop's media controls and the player's menus.
namespace pelmora::playback::transport_button {

constexpr int kPlayPause = 0;
constexpr int kStop = 1;
constexpr int kMute = 2;
constexpr int kFullScreen = 3;
constexpr int kOpenFile = 4;
constexpr int kPreviousEpisode = 5;
constexpr int kShutdownMenu = 6;
constexpr int kNextEpisode = 7;
constexpr int kSidePanel = 8;

}  // namespace pelmora::playback::transport_button
