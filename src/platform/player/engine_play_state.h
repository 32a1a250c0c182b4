#pragma once

#include <string_view>

#include "platform/download_engine.h"
#include "platform/player/mpv_play_state.h"
#include "platform/player_control.h"

namespace pelmora::platform::qt {

// Why an item the engine serves cannot play, from the engine's error text: no source found in
// time, a download folder it cannot write, anything else (no terminal, a refused address, wrong
// metadata) as an address that cannot be reached.
PlayFailure engine_failure(std::string_view error);

// The state code of an item the engine serves: mpv's own reading, except where the engine
// knows better why the picture waits:
//   the engine reports an error                         -> 1 stopped (the error is the reason)
//   the item is loading (the stream address is being asked for, or mpv opens it) or mpv waits
//   for data: by the engine's state
//       fetching the torrent                            -> 9 downloading the seed
//       no source yet (or not known yet)                -> 10 connecting
//       otherwise                                       -> 4 buffering
//   anything else                                       -> as mpv's reading
PlayState engine_play_state(const MpvPlaybackFacts& facts, const EngineStatus& status);

}  // namespace pelmora::platform::qt
