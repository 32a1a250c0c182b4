#pragma once

#include <functional>
#include <string>

#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::playback {

// The notice that stands between the end of an item and an armed shutdown: it counts down the
// seconds left and offers to cancel. The computer is shut down only when the count runs out;
// cancelling (the button, Escape or closing the notice) leaves it running.
class ShutdownNotice : public platform::Form {
 public:
  static constexpr int kSeconds = 30;

  ShutdownNotice();

  platform::Label message{this, "message"};
  platform::CommandButton cancel{this, "cancel"};
  platform::Timer countdown{this, "countdown", 1000, false};

  // Shows the notice with the whole count, centred on `screen` (pixels).
  void start(const platform::Rect& screen);
  // The seconds left while the notice runs; 0 when it does not.
  int seconds_left() const { return seconds_left_; }
  bool running() const { return seconds_left_ > 0; }

  // The count ran out: shut the computer down now.
  std::function<void()> on_elapsed;
  // The user cancelled: disarm the shutdown.
  std::function<void()> on_cancelled;

  // The text the notice shows with `seconds` left.
  static std::string text_for(int seconds);

 private:
  void tick();
  void stop_and_hide();
  void user_cancelled();

  int seconds_left_ = 0;
};

}  // namespace pelmora::playback
