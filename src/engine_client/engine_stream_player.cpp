#include "engine_client/engine_stream_player.h"

#include "engine_client/engine_play_state.h"
#include "util/link_schemes.h"

namespace pelmora::platform::qt {

using links::is_engine_address;

EngineStreamPlayer::EngineStreamPlayer(std::unique_ptr<PlayerControl> player,
                                       DownloadEngine& engine)
    : player_(std::move(player)), engine_(engine) {
  player_->set_listener(this);
}

EngineStreamPlayer::~EngineStreamPlayer() {
  player_->set_listener(nullptr);
  // An answer still on its way finds no item of this player.
  ++*request_;
}

bool EngineStreamPlayer::serves_item() const {
  return !opened_.empty() && opened_ == address_;
}

void EngineStreamPlayer::set_media_address(const std::string& address) {
  address_ = address;
  if (!is_engine_address(address)) player_->set_media_address(address);
}

void EngineStreamPlayer::play() {
  if (!is_engine_address(address_)) {
    player_->play();
    return;
  }
  // The item asked for goes on (resumes after a pause, plays again after its end); any other,
  // or one the engine refused, is asked for afresh.
  if (serves_item() && refusal_.empty()) {
    if (!waiting_) player_->play();
    return;
  }
  open_item(0);
}

void EngineStreamPlayer::play_from(const std::string& address, int seconds) {
  address_ = address;
  if (!is_engine_address(address)) {
    player_->play_from(address, seconds);
    return;
  }
  open_item(seconds);
}

void EngineStreamPlayer::open_item(int seconds) {
  // What played before stops now: the item's readings start from nothing while the engine
  // looks for it.
  if (!player_->media_address().empty()) player_->stop();
  opened_ = address_;
  waiting_ = true;
  refusal_.clear();
  const std::uint64_t request = ++*request_;
  const std::weak_ptr<std::uint64_t> current = request_;
  engine_.open(
      address_, DownloadEngine::Role::kPlay,
      [this, current, request, seconds](const std::string& stream, const std::string& error) {
        // Stopped, replaced or gone meanwhile: the answer is for an item gone.
        const std::shared_ptr<std::uint64_t> now = current.lock();
        if (!now || *now != request) return;
        waiting_ = false;
        if (stream.empty()) {
          refusal_ = error.empty() ? std::string("no-engine") : error;
          if (listener_ != nullptr) listener_->player_event(PlayerEvent::kFailed);
          return;
        }
        player_->play_from(stream, seconds);
      });
}

void EngineStreamPlayer::stop() {
  ++*request_;
  if (!opened_.empty()) engine_.close(opened_);
  opened_.clear();
  waiting_ = false;
  refusal_.clear();
  player_->stop();
}

int EngineStreamPlayer::duration() const {
  return awaits_stream() ? 0 : player_->duration();
}

int EngineStreamPlayer::position() const {
  return awaits_stream() ? 0 : player_->position();
}

int EngineStreamPlayer::stream_rate() const {
  return awaits_stream() ? 0 : player_->stream_rate();
}

int EngineStreamPlayer::transfer_rate() const {
  if (!is_engine_address(address_)) return player_->transfer_rate();
  return serves_item() ? engine_.status(address_).rate : 0;
}

int EngineStreamPlayer::download_permille() const {
  if (!is_engine_address(address_)) return player_->download_permille();
  return serves_item() ? engine_.status(address_).permille : 0;
}

PlayState EngineStreamPlayer::play_state() const {
  if (!serves_item()) return player_->play_state();
  if (!refusal_.empty()) return PlayState::kStopped;
  return engine_play_state(waiting_ ? PlayState::kConnecting : player_->play_state(),
                           engine_.status(address_));
}

PlayFailure EngineStreamPlayer::failure() const {
  if (!serves_item()) return player_->failure();
  if (!refusal_.empty()) return engine_failure(refusal_);
  // The engine's error while it serves the item says why the item stopped.
  const EngineStatus status = engine_.status(address_);
  if (status.state == EngineStatus::State::kError) return engine_failure(status.error);
  return waiting_ ? PlayFailure::kNone : player_->failure();
}

PlayerReadings EngineStreamPlayer::readings() {
  PlayerReadings readings = player_->readings();
  if (!is_engine_address(address_)) return readings;
  readings.address = address_;
  readings.state = play_state();
  readings.failure = failure();
  if (awaits_stream()) {
    readings.position = 0;
    readings.duration = 0;
    readings.stream_rate = 0;
  }
  readings.transfer_rate = transfer_rate();
  readings.download_permille = download_permille();
  return readings;
}

void EngineStreamPlayer::prepare_next(const std::string& address) {
  if (!is_engine_address(address)) {
    player_->prepare_next(address);
    return;
  }
  next_ = address;
  engine_.open(address, DownloadEngine::Role::kNext, {});
}

void EngineStreamPlayer::player_event(PlayerEvent event) {
  if (listener_ != nullptr) listener_->player_event(event);
}

PlayerControl* behind_streams(PlayerControl* player) {
  auto* streams = dynamic_cast<EngineStreamPlayer*>(player);
  return streams != nullptr ? &streams->player() : player;
}

std::unique_ptr<PlayerControl> EngineStreamPlayerEngine::create() {
  std::unique_ptr<PlayerControl> player = players_.create();
  if (player == nullptr) return nullptr;
  return std::make_unique<EngineStreamPlayer>(std::move(player), engine_);
}

}  // namespace pelmora::platform::qt
