#pragma once

#include <string_view>

#include "platform/download_engine.h"
#include "platform/player_control.h"

namespace pelmora::platform::qt {

// Why an item the engine serves cannot play, from the engine's error text: no source found in
// time, a download folder it cannot write, anything else (no terminal, a refused address, wrong
// metadata) as an address that cannot be reached.
PlayFailure engine_failure(std::string_view error);

// The state code of an item the engine serves, from the player's own state of its stream
// (connecting while the stream address is still being asked for), except where the engine
// knows better why the picture waits:
//   the engine reports an error                         -> 1 stopped (the error is the reason)
//   the player opens the stream (preparing, connecting) or waits for data (buffering): by the
//   engine's state
//       fetching the torrent                            -> 9 downloading the seed
//       no source yet (or not known yet)                -> 10 connecting
//       otherwise                                       -> 4 buffering
//   anything else                                       -> as the player's state
PlayState engine_play_state(PlayState player, const EngineStatus& status);

}  // namespace pelmora::platform::qt
