#include "platform/headless/scripted_player.h"

#include <algorithm>

namespace pelmora::headless {

using platform::PlayState;

namespace {
std::string flag(bool value) {
  return value ? "-1" : "0";
}
}  // namespace

void ScriptedPlayer::set_media_address(const std::string& value) {
  address = value;
  calls.push_back("MediaAddress=" + value);
}

void ScriptedPlayer::set_mute(bool mute) {
  muted = mute;
  calls.push_back("Mute=" + flag(mute));
}

void ScriptedPlayer::set_full_screen(bool value) {
  full_screen = value;
  calls.push_back("FullScreen=" + flag(value));
}

void ScriptedPlayer::set_volume(int value) {
  volume_percent = std::clamp(value, 0, 100);
  calls.push_back("Volume=" + std::to_string(value));
}

void ScriptedPlayer::set_position(int seconds) {
  position_s = std::max(seconds, 0);
  calls.push_back("Position=" + std::to_string(seconds));
  // Back into the item before its end: whatever end was seen or held belongs to the past.
  if (duration_s > 0 && position_s < duration_s) forget_end();
}

void ScriptedPlayer::play() {
  calls.push_back("Play");
  if (!address.empty()) {
    // Another item, or the finished one from its start; a paused item just goes on.
    if (address != played_ || finished_) forget_end();
    played_ = address;
    state = PlayState::kPlaying;
    failure_reason = platform::PlayFailure::kNone;
  }
}

void ScriptedPlayer::play_from(const std::string& value, int seconds) {
  address = value;
  calls.push_back("MediaAddress=" + value);
  calls.push_back(seconds > 0 ? "Play@" + std::to_string(seconds) : "Play");
  forget_end();
  played_ = address;
  position_s = seconds;
  state = PlayState::kPlaying;
  failure_reason = platform::PlayFailure::kNone;
}

void ScriptedPlayer::report(platform::PlayerEvent event) {
  if (listener_ != nullptr) listener_->player_event(event);
}

void ScriptedPlayer::show_first_frame(int position, int duration) {
  state = PlayState::kPlaying;
  position_s = position;
  duration_s = duration;
  report(platform::PlayerEvent::kOpening);
  report(platform::PlayerEvent::kLoaded);
  report(platform::PlayerEvent::kFirstFrame);
}

void ScriptedPlayer::pause() {
  calls.push_back("Pause");
  if (state == PlayState::kPlaying) state = PlayState::kPaused;
}

void ScriptedPlayer::stop() {
  calls.push_back("Stop");
  state = PlayState::kStopped;
  failure_reason = platform::PlayFailure::kNone;
  played_.clear();
  forget_end();
}

void ScriptedPlayer::reach_end() {
  state = PlayState::kReady;
  position_s = 0;
  const bool new_end = !finished_;
  if (!finished_) end_held_ = !end_seen_;
  finished_ = true;
  if (new_end) report(platform::PlayerEvent::kEnded);
}

void ScriptedPlayer::fail(platform::PlayFailure why) {
  state = PlayState::kStopped;
  failure_reason = why;
  position_s = 0;
  duration_s = 0;
  played_.clear();
  forget_end();
  report(platform::PlayerEvent::kFailed);
}

platform::PlayerReadings ScriptedPlayer::readings() {
  int position = position_s;
  if (end_held_) {
    position = duration_s;
    end_held_ = false;
  } else if (!finished_ && position > 0 && duration_s > 0 && duration_s - 2 < position) {
    end_seen_ = true;
  }
  return {address,    state,        failure_reason, position,
          duration_s, transfer_kbs, stream_kbps,    permille};
}

void ScriptedPlayer::forget_end() {
  finished_ = false;
  end_seen_ = false;
  end_held_ = false;
}

void ScriptedPlayer::prepare_next(const std::string& value) {
  prepared.push_back(value);
  calls.push_back("PrepareNext=" + value);
}

void ScriptedPlayer::set_ad_page_address(const std::string& value) {
  ad_page = value;
  calls.push_back("AdPageAddress=" + value);
}

std::unique_ptr<platform::PlayerControl> ScriptedPlayerEngine::create() {
  if (!engine_present) return nullptr;
  auto player = std::make_unique<ScriptedPlayer>();
  last_ = player.get();
  return player;
}

}  // namespace pelmora::headless
