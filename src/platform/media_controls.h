#pragma once

#include <cstdint>
#include <string>

namespace pelmora::platform {

// What the desktop's media controls see of the item on the transport bar.
enum class PlaybackStatus { kStopped, kPaused, kPlaying };

struct MediaState {
  PlaybackStatus status = PlaybackStatus::kStopped;
  // The caption the window shows for the item (the transport bar's title); empty for none.
  std::string title;
  // A number that changes whenever another item is loaded; 0 while nothing is loaded.
  std::int64_t item = 0;
  int length = 0;  // seconds; 0 while unknown
  int volume = 0;  // percent, as the player reads it back
  bool can_play = false;
  bool can_pause = false;
  bool can_seek = false;
  bool can_go_next = false;
  bool can_go_previous = false;
  bool operator==(const MediaState&) const = default;
};

// The program as the desktop's media controls drive it (media keys, sound menus, desktop
// widgets). Every call runs on the user-interface thread and acts through the window's own
// controls, as a click on them would. A call that does not apply now (nothing loaded, an item
// that plays as a web page) does nothing.
class MediaControls {
 public:
  virtual ~MediaControls() = default;

  // The present state. Not const: it notices when another item was loaded.
  virtual MediaState state() = 0;
  // The play position in seconds (0 when nothing is loaded).
  virtual int position() const = 0;

  // Brings the main window to the front, restoring it when minimised or hidden in the tray.
  virtual void raise() = 0;
  // Ends the program through its own exit routine.
  virtual void quit() = 0;
  virtual void play_pause() = 0;
  virtual void play() = 0;
  virtual void pause() = 0;
  virtual void stop() = 0;
  virtual void next() = 0;
  virtual void previous() = 0;
  // Seeks to `seconds` (below 0 counts as 0), as the seek bar does.
  virtual void seek_to(int seconds) = 0;
  // Moves the volume bar to `percent` (clamped to 0-100); unmutes, as the volume bar does.
  virtual void set_volume(int percent) = 0;
  // Plays a file path or a player address as a later start of the program would hand it over.
  virtual void open(const std::string& address) = 0;
};

// Keeps the screen and the session awake. `set_held(true)` while an item plays, false when it
// pauses, stops or ends; releasing what is not held does nothing. The holder releases when it
// is destroyed.
class IdleInhibitor {
 public:
  virtual ~IdleInhibitor() = default;
  virtual void set_held(bool held) = 0;
  virtual bool held() const = 0;
};

}  // namespace pelmora::platform
