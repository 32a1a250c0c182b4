#pragma once

#include <functional>
#include <string>

namespace pelmora::platform {

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

}  // namespace pelmora::platform
