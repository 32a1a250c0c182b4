#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/media_controls.h"

namespace pelmora::app {
class BA1;
}

namespace pelmora::playback {

// The main window's transport bar as the desktop's media controls drive it: play, pause, stop
// and the episode steps are clicks on the bar's own buttons (so the history lists keep their
// resume positions and the status line its texts), seeking and volume move the bars as the
// pointer would.
class TransportRemote final : public platform::MediaControls {
 public:
  explicit TransportRemote(app::BA1& window);

  platform::MediaState state() override;
  int position() const override;
  void raise() override;
  void quit() override;
  void play_pause() override;
  void play() override;
  void pause() override;
  void stop() override;
  void next() override;
  void previous() override;
  void seek_to(int seconds) override;
  void set_volume(int percent) override;
  void open(const std::string& address) override;

 private:
  bool loaded() const;
  void catch_up_play_button();
  app::BA1& window_;
  std::string last_address_;
  std::uint64_t last_start_ = 0;
  std::int64_t item_ = 0;
};

// Watches the media state for the desktop: holds the idle inhibition while an item plays and
// tells `changed` about every change of the state (new state first, the one before second).
class MediaWatch {
 public:
  using Changed =
      std::function<void(const platform::MediaState& now, const platform::MediaState& before)>;
  MediaWatch(platform::MediaControls& controls, platform::IdleInhibitor& inhibitor,
             Changed changed);
  // Reads the state once; the desktop calls it a few times a second and after every command.
  void check();
  const platform::MediaState& last() const { return last_; }

 private:
  platform::MediaControls& controls_;
  platform::IdleInhibitor& inhibitor_;
  Changed changed_;
  platform::MediaState last_;
};

}  // namespace pelmora::playback
