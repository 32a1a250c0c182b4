#pragma once

#include <string_view>

#include "platform/player_control.h"

namespace pelmora::platform::qt {

// How far the player got with the current item. The player control moves it on Play and Stop;
// mpv's file events move it on from there.
enum class MpvLoadPhase {
  kNothing,  // nothing was ever started
  kLoading,  // `loadfile` issued, the file is not open yet
  kLoaded,   // the file is open: mpv's playback properties describe it
  kFailed,   // the item could not be opened or broke off with an error
  kStopped,  // Stop was called
};

// What the player knows about the current item: the load phase and the observed mpv properties
// that the state code is made of.
struct MpvPlaybackFacts {
  MpvLoadPhase phase = MpvLoadPhase::kNothing;
  bool network = false;  // the item is read over the network (http, https, ...)
  bool idle_active = true;
  bool pause = false;
  bool paused_for_cache = false;
  bool seeking = false;
  bool eof_reached = false;  // the item played to its end (it stays open there)
};

// The state code for the status line, first match wins:
//   nothing started                            -> 0 ready
//   stopped, or the item failed to open        -> 1 stopped
//   loading a local file                       -> 7 preparing to read
//   loading a network address                  -> 10 connecting
//   at the end of the item                     -> 0 finished (the address stays set)
//   loaded, but mpv went idle on its own       -> 1 stopped
//   paused by the user                         -> 2 paused
//   waiting for the cache                      -> 4 buffering
//   seeking in a network stream                -> 4 buffering
//   otherwise (a local seek included)          -> 3 playing
// A local seek reads as playing so that the video is not swapped for the advert panel for the
// few milliseconds it takes.
PlayState derive_play_state(const MpvPlaybackFacts& facts);

// Whether mpv reads the address over the network (it has a scheme other than file://).
bool is_network_address(std::string_view address);
// Whether the address names a file on this machine (a path or a file:// address).
bool is_local_address(std::string_view address);
// Whether the address belongs to the download engine ("qvod://SIZE|HASH|NAME|").
bool is_engine_address(std::string_view address);

}  // namespace pelmora::platform::qt
