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
  explicit MpvEngine(MpvOutputs outputs = {});
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
  std::optional<bool> available_;
};

}  // namespace pelmora::platform::qt
