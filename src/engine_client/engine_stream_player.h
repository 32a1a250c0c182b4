#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/download_engine.h"
#include "platform/player_control.h"

namespace pelmora::platform::qt {

// The player as the program sees it: engine addresses ("qvod://SIZE|HASH|NAME|") are resolved
// by the download engine to a stream the player behind it opens, so that player knows nothing of
// the engine. Every other address goes straight through.
//
// For an engine item, MediaAddress stays the engine address; Play asks the engine for the stream
// (the item reads as the engine says while it waits: connecting, fetching the seed) and starts
// the stream; DownloadPermille and TransferRate are the engine's; an engine error while the item
// plays reads as stopped with the engine's reason; a refusal of the engine is reported as the
// item's failure. PrepareNext of an engine address has the engine download it behind the
// playing item; Stop lets the engine put the item in the background.
class EngineStreamPlayer final : public PlayerControl, private PlayerListener {
 public:
  // `engine` is not owned and must outlive the player.
  EngineStreamPlayer(std::unique_ptr<PlayerControl> player, DownloadEngine& engine);
  ~EngineStreamPlayer() override;
  EngineStreamPlayer(const EngineStreamPlayer&) = delete;
  EngineStreamPlayer& operator=(const EngineStreamPlayer&) = delete;

  // The player that plays the streams (the desktop wiring reaches its picture through it).
  PlayerControl& player() { return *player_; }
  // The engine address last handed over to be downloaded ahead; empty before.
  const std::string& prepared_next() const { return next_; }

  std::string media_address() const override { return address_; }
  void set_media_address(const std::string& address) override;
  void set_mute(bool mute) override { player_->set_mute(mute); }
  void set_full_screen(bool full_screen) override { player_->set_full_screen(full_screen); }
  int volume() const override { return player_->volume(); }
  void set_volume(int volume) override { player_->set_volume(volume); }
  int duration() const override;
  int transfer_rate() const override;
  int position() const override;
  void set_position(int seconds) override { player_->set_position(seconds); }
  void play() override;
  void play_from(const std::string& address, int seconds) override;
  void set_listener(PlayerListener* listener) override { listener_ = listener; }
  void pause() override { player_->pause(); }
  void stop() override;
  PlayState play_state() const override;
  PlayFailure failure() const override;
  int stream_rate() const override;
  int download_permille() const override;
  PlayerReadings readings() override;
  void prepare_next(const std::string& address) override;
  void set_ad_page_address(const std::string& address) override {
    player_->set_ad_page_address(address);
  }

 private:
  void player_event(PlayerEvent event) override;
  // Asks the engine for the stream of the media address and plays it from `seconds`.
  void open_item(int seconds);
  // The media address is an engine item the engine was asked for (and not stopped since).
  bool serves_item() const;
  // The engine's stream of that item has not reached the player (still asked for, or refused):
  // the player behind reads nothing of it.
  bool awaits_stream() const { return serves_item() && (waiting_ || !refusal_.empty()); }

  std::unique_ptr<PlayerControl> player_;
  DownloadEngine& engine_;
  PlayerListener* listener_ = nullptr;
  std::string address_;   // MediaAddress as the program set it
  std::string opened_;    // the engine item asked for; empty after a stop
  std::string next_;      // the engine item downloaded ahead
  bool waiting_ = false;  // the engine's answer has not come yet
  std::string refusal_;   // why the engine gave no stream; empty when it gave one
  // Tells the engine's answer for the current item from older ones; shared with the answers,
  // which may come after the player is gone.
  std::shared_ptr<std::uint64_t> request_ = std::make_shared<std::uint64_t>(0);
};

// The player behind the engine's streams when `player` is one of them, else `player` itself.
PlayerControl* behind_streams(PlayerControl* player);

// Makes the players of `players` behind the engine's streams.
class EngineStreamPlayerEngine final : public PlayerEngine {
 public:
  EngineStreamPlayerEngine(PlayerEngine& players, DownloadEngine& engine)
      : players_(players), engine_(engine) {}
  bool available() override { return players_.available(); }
  std::unique_ptr<PlayerControl> create() override;

 private:
  PlayerEngine& players_;
  DownloadEngine& engine_;
};

}  // namespace pelmora::platform::qt
