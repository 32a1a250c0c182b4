#pragma once

#include <string>
#include <vector>

#include "platform/player_control.h"

namespace pelmora::headless {

// A player whose readings a test sets and whose calls it records. Play, pause and stop move the
// state as a real player would (playing, paused, stopped); everything else stays as the test
// set it. `readings()` answers for the end of an item as the desktop player does: after
// `reach_end` its position is the length once unless a `readings()` already read the item's
// last two seconds; `position()` is the field as set and never takes that end away.
class ScriptedPlayer final : public platform::PlayerControl {
 public:
  // What the test sets.
  std::string address;
  platform::PlayState state = platform::PlayState::kReady;
  int position_s = 0;
  int duration_s = 0;
  int transfer_kbs = 0;
  int stream_kbps = 0;
  int permille = 0;
  int volume_percent = 50;
  platform::PlayFailure failure_reason = platform::PlayFailure::kNone;
  bool muted = false;
  bool full_screen = false;
  std::string ad_page;
  std::vector<std::string> prepared;  // every address handed to prepare_next
  // Every call, in order: "MediaAddress=...", "Play", "Play@12", "Pause", "Stop", "Position=12",
  // "Volume=60", "Mute=-1", "FullScreen=-1", "PrepareNext=...", "AdPageAddress=...".
  std::vector<std::string> calls;

  std::string media_address() const override { return address; }
  void set_media_address(const std::string& value) override;
  void set_mute(bool mute) override;
  void set_full_screen(bool value) override;
  int volume() const override { return volume_percent; }
  void set_volume(int value) override;
  int duration() const override { return duration_s; }
  int transfer_rate() const override { return transfer_kbs; }
  int position() const override { return position_s; }
  void set_position(int seconds) override;
  void play() override;
  // Records the address and "Play", or "Play@12" for a start 12 s into the item.
  void play_from(const std::string& value, int seconds) override;
  void set_listener(platform::PlayerListener* value) override { listener_ = value; }
  void pause() override;
  void stop() override;
  platform::PlayState play_state() const override { return state; }
  platform::PlayFailure failure() const override { return failure_reason; }
  int stream_rate() const override { return stream_kbps; }
  int download_permille() const override { return permille; }
  // The fields above, with the end of an item held as the desktop player holds it.
  platform::PlayerReadings readings() override;
  void prepare_next(const std::string& value) override;
  void set_ad_page_address(const std::string& value) override;

  // The player tells its listener of `event`, as the desktop player does from its event loop.
  void report(platform::PlayerEvent event);
  // The item opens (its length `duration` seconds) and its first picture is out at `position`:
  // playing, with kOpening, kLoaded and kFirstFrame reported.
  void show_first_frame(int position, int duration);
  // The item plays to its end: the readings become those of a finished item (state 0 with the
  // address kept, Position 0, the length kept), as the desktop player gives them; kEnded is
  // reported.
  void reach_end();
  // The item cannot be played: stopped, with the reason; kFailed is reported.
  void fail(platform::PlayFailure why);

 private:
  // A new item (or the finished one again) starts with no end seen or held.
  void forget_end();

  platform::PlayerListener* listener_ = nullptr;
  std::string played_;     // the address Play last started; empty after a stop or failure
  bool finished_ = false;  // reach_end was the last word on the item
  bool end_seen_ = false;  // a `readings()` read the item's last two seconds
  bool end_held_ = false;  // the next `readings()` reports the end
};

// Makes ScriptedPlayers, or none when the test says the engine is missing.
class ScriptedPlayerEngine final : public platform::PlayerEngine {
 public:
  bool engine_present = true;
  int probes = 0;

  bool available() override {
    ++probes;
    return engine_present;
  }
  std::unique_ptr<platform::PlayerControl> create() override;
  // The player made last (owned by whoever called create); null before.
  ScriptedPlayer* last_created() const { return last_; }

 private:
  ScriptedPlayer* last_ = nullptr;
};

}  // namespace pelmora::headless
