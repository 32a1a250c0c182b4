#pragma once

#include <memory>
#include <string>

namespace pelmora::platform {

// State codes of the player, as the status line names them.
enum class PlayState : int {
  kReady = 0,  // ready / finished
  kStopped = 1,
  kPaused = 2,
  kPlaying = 3,
  kBuffering = 4,
  kWaiting = 5,
  kEnded = 6,      // playback ended
  kPreparing = 7,  // preparing to read
  kReconnecting = 8,
  kFetchingSeed = 9,  // downloading the BT seed
  kConnecting = 10,
  kStopping = 11,
};

// Why the last item could not be played. The state reads stopped (1) after a failure; this says
// what the status line should tell the user.
enum class PlayFailure : int {
  kNone = 0,
  kUnreachable,        // the address could not be reached or answered with an error
  kMissingFile,        // no file at the local path
  kUnsupportedFormat,  // the file or stream is in no format the player reads
  kBrokenFile,         // the format was recognised, but nothing in it can be played
  kNoSource,           // the download engine found nowhere to get the item from in time
  kUnwritableFolder,   // the download engine cannot write into the download folder
  kFolderFull,         // the download folder's disk is full
};

// Everything the once-a-second status monitor reads from the player in one step.
struct PlayerReadings {
  std::string address;  // MediaAddress; empty when nothing is loaded
  PlayState state = PlayState::kReady;
  PlayFailure failure = PlayFailure::kNone;
  int position = 0;  // seconds; the item's end is reported here exactly once (see `readings`)
  int duration = 0;
  int transfer_rate = 0;
  int stream_rate = 0;
  int download_permille = 0;
};

// What the player tells of its current item as it happens, so that the program follows the
// player instead of guessing from once-a-second readings.
enum class PlayerEvent {
  kOpening,     // the player has begun the item (its file or stream is being opened)
  kLoaded,      // the item is open: its length is known
  kFirstFrame,  // the item's first picture (or, without picture, its first sound) is out
  kSeekDone,    // a seek has landed: playback goes on from the new place
  kEnded,       // the item played to its end
  kFailed,      // the item cannot be played; `failure()` says why
  kIdle,        // the player let go of the item by itself: nothing plays any more
};

// Hears the player's events. They arrive on the user-interface thread from the event loop,
// never from inside a call of the player, and only for the item started last (a replaced or
// stopped item's late events are dropped).
class PlayerListener {
 public:
  virtual ~PlayerListener() = default;
  virtual void player_event(PlayerEvent event) = 0;
};

// The embedded video player, placed once on the main window (`QvodC` inside the picture box
// `qvod`). Every call happens on the user-interface thread and returns at once; none re-enters
// the program. Times are whole seconds, rates whole numbers. Values that are not known yet read
// as 0 (or empty).
class PlayerControl {
 public:
  virtual ~PlayerControl() = default;

  // The address to play: a local path, an http address or a "qvod://SIZE|HASH|NAME|" address.
  // Empty means nothing is loaded. Setting it does not start playback; Play does.
  virtual std::string media_address() const = 0;
  virtual void set_media_address(const std::string& address) = 0;

  virtual void set_mute(bool mute) = 0;
  // Full screen on (true) or off.
  virtual void set_full_screen(bool full_screen) = 0;

  // 0-100 percent. Writes outside the range are accepted and clamped by the player; the value
  // read back is what the player uses.
  virtual int volume() const = 0;
  virtual void set_volume(int volume) = 0;

  virtual int duration() const = 0;            // length in seconds; 0 until known
  virtual int transfer_rate() const = 0;       // current transfer rate in KB/s
  virtual int position() const = 0;            // play position in seconds
  virtual void set_position(int seconds) = 0;  // seeks

  // Starts the loaded address, or resumes after pause.
  virtual void play() = 0;
  // Sets the address and starts it from `seconds` (0: its beginning), so that the first picture
  // shown is that of the place where it resumes.
  virtual void play_from(const std::string& address, int seconds) = 0;
  // Who hears the player's events; null for nobody. Not owned.
  virtual void set_listener(PlayerListener* listener) = 0;
  virtual void pause() = 0;
  virtual void stop() = 0;

  // After the end of an item the player reads as finished (0) with the address still set,
  // Position 0 and Duration its length; Play starts the item again from its beginning. The end
  // is seen by `readings()`, never by a plain read of Position.
  virtual PlayState play_state() const = 0;
  // Why the current item failed; kNone unless the state reads stopped because of an error.
  virtual PlayFailure failure() const { return PlayFailure::kNone; }
  virtual int stream_rate() const = 0;        // bit rate in Kbps
  virtual int download_permille() const = 0;  // 0-1000 of the media downloaded (1000 local)

  // The status monitor's reading, once a tick. Its position is the one reading that answers for
  // the end of an item: when the item ends without this reading having fallen into its last two
  // seconds, the next `readings()` reports position = duration once (the end is never missed),
  // then the finished item's 0. Other readers (position(), a seek, the desktop's media controls)
  // never take that end reading away: position() of a finished item reads 0 and marks nothing.
  virtual PlayerReadings readings() = 0;

  // Hands over the next episode's address so that the engine starts buffering it.
  virtual void prepare_next(const std::string& address) = 0;
  // The page the player shows as its advert area; set once when the main window loads.
  virtual void set_ad_page_address(const std::string& address) = 0;
};

// Creates the player. The start-up check asks it whether a player can be made at all.
class PlayerEngine {
 public:
  virtual ~PlayerEngine() = default;
  // True when the player engine can be loaded and created on this machine.
  virtual bool available() = 0;
  // A new player, or null when none can be made.
  virtual std::unique_ptr<PlayerControl> create() = 0;
};

}  // namespace pelmora::platform
