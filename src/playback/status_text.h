#pragma once

#include <optional>
#include <string>

#include "platform/player_control.h"

// What the status line and the time display say about the player, as the once-a-second monitor
// and the transport bar write them.
namespace pelmora::playback::status {

// The status line while the player plays: the transfer rate once it is known and the first six
// seconds are over, the stream's bit rate before that.
std::string playing_text(int transfer_rate, int position, int stream_rate);

// The status line for a state other than playing; `loaded` tells whether an address is loaded.
// Nothing for playing and for codes outside the table: the line keeps what it says.
std::optional<std::string> state_text(platform::PlayState state, int transfer_rate, bool loaded);

// The status line for an item the player could not play: what went wrong, in place of the bare
// "stopped". Nothing for kNone.
std::optional<std::string> failure_text(platform::PlayFailure failure);

// "position / duration" as the time display shows it.
std::string time_display(int position, int duration);

}  // namespace pelmora::playback::status
