#pragma once

#include <memory>
#include <optional>

#include "platform/player/mpv_player.h"
#include "platform/player_control.h"

struct mpv_handle;

namespace pelmora::platform::qt {

// Makes players on libmpv. Construct it after the QApplication: libmpv needs the C locale for
// numbers, which the application object's set-up replaces with the user's, so the constructor
// sets LC_NUMERIC back to "C".
class MpvEngine final : public PlayerEngine {
 public:
  // `download_engine` (not owned, may be null) serves the engine addresses of every player made.
  explicit MpvEngine(MpvOutputs outputs = {}, DownloadEngine* download_engine = nullptr);
  ~MpvEngine() override;
  MpvEngine(const MpvEngine&) = delete;
  MpvEngine& operator=(const MpvEngine&) = delete;

  // True when libmpv is on the machine (found where the dynamic loader looks, without loading
  // it); asked once, then remembered.
  bool available() override;
  // A new MpvPlayer, or null when libmpv is not on the machine. It starts libmpv with its
  // first item.
  std::unique_ptr<PlayerControl> create() override;
  // The same, typed, for the backend that needs the video widget and the full-screen signal.
  std::unique_ptr<MpvPlayer> create_player();

 private:
  MpvOutputs outputs_;
  DownloadEngine* download_engine_ = nullptr;
  std::optional<bool> available_;
};

}  // namespace pelmora::platform::qt
