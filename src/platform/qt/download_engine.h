#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/player_control.h"
#include "platform/qt/mpv_play_state.h"

namespace pelmora::platform::qt {

// One "qvod://SIZE|HASH|NAME|" address taken apart: a file NAME of SIZE bytes whose content is
// named by HASH, the 40 hex digits of its torrent's info-hash (kept in lower case here).
struct EngineAddress {
  std::uint64_t size = 0;
  std::string hash;
  std::string name;
};

// Nothing unless the address is exactly that form, by the engine's own grammar
// (engine/protocol/qvod_address.h): SIZE decimal and above 0, HASH 40 hex digits, NAME a name
// the file can have in the download folder.
std::optional<EngineAddress> parse_engine_address(std::string_view address);

// What the engine's terminal says about one item.
struct EngineStatus {
  enum class State {
    kUnknown,      // not asked yet, or the terminal does not know the item (yet)
    kConnecting,   // no source found yet
    kMetadata,     // fetching the torrent
    kBuffering,    // the player's read waits for data
    kDownloading,  // data arrives
    kFinished,     // the whole file is verified
    kError,
  };
  State state = State::kUnknown;
  int permille = 0;   // verified bytes x 1000 / size
  int rate = 0;       // download rate, KB/s
  std::string error;  // "no-source", "unwritable-folder", ...; empty when none
};

// The terminal's answer to a status question: lines "state=S", "permille=P", "rate=R",
// "error=TEXT". Unknown lines and unreadable numbers are ignored; numbers are kept in range.
EngineStatus parse_engine_status(std::string_view body);

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

// The download engine as the player uses it. Every call returns at once; answers come later,
// on the thread that made the engine (the user-interface thread), never from inside the call.
class DownloadEngine {
 public:
  enum class Role {
    kPlay,  // raise the item to the top: the player reads it now
    kNext,  // download it behind the playing item, its start and end first
  };
  // The stream address mpv can open, or empty with the reason ("bad-address", "no-engine", or
  // the terminal's error text).
  using Opened = std::function<void(const std::string& stream_address, const std::string& error)>;

  virtual ~DownloadEngine() = default;
  // Asks the engine for the item; `done` (may be empty) gets the answer.
  virtual void open(const std::string& address, Role role, Opened done) = 0;
  // The player no longer reads the item: it drops to the background and keeps sharing.
  virtual void close(const std::string& address) = 0;
  // The last reading of the item, as recent as the engine's polling (about half a second).
  virtual EngineStatus status(const std::string& address) const = 0;
};

}  // namespace pelmora::platform::qt
