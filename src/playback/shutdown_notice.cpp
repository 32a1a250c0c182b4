#include "playback/shutdown_notice.h"

#include "platform/key_codes.h"

namespace pelmora::playback {

namespace {

// The notice's size in pixels.
constexpr int kWidth = 320;
constexpr int kHeight = 120;

}  // namespace

ShutdownNotice::ShutdownNotice() : Form("shutdown_notice") {
  set_caption("计划关机");
  move(0, 0, kWidth * twips_per_pixel(), kHeight * twips_per_pixel());
  set_visible(false);
  // It must be seen over a full-screen picture and over the main window kept on top.
  set_top_most(true);
  message.move(16, 18, kWidth - 32, 40);
  message.set_caption(text_for(kSeconds));
  cancel.set_caption("取消关机(&C)");
  cancel.move((kWidth - 100) / 2, kHeight - 46, 100, 28);
  cancel.on_click = [this] { user_cancelled(); };
  countdown.on_timer = [this] { tick(); };
  set_key_preview(true);
  on_key_down = [this](int key_code, int) {
    if (key_code == platform::keys::kEscape) user_cancelled();
  };
  // Closing the notice from the window system is cancelling too: it never shuts down unseen.
  on_close_request = [this] { user_cancelled(); };
}

std::string ShutdownNotice::text_for(int seconds) {
  return "播放完毕，电脑将在 " + std::to_string(seconds) + " 秒后自动关机。";
}

void ShutdownNotice::start(const platform::Rect& screen) {
  seconds_left_ = kSeconds;
  message.set_caption(text_for(seconds_left_));
  const int twips = twips_per_pixel();
  move((screen.left + (screen.width - kWidth) / 2) * twips,
       (screen.top + (screen.height - kHeight) / 2) * twips, kWidth * twips, kHeight * twips);
  show();
  set_focus();
  countdown.set_timer_enabled(false);
  countdown.set_timer_enabled(true);
}

void ShutdownNotice::tick() {
  if (seconds_left_ <= 0) {
    countdown.set_timer_enabled(false);
    return;
  }
  --seconds_left_;
  if (seconds_left_ > 0) {
    message.set_caption(text_for(seconds_left_));
    return;
  }
  stop_and_hide();
  if (on_elapsed) on_elapsed();
}

void ShutdownNotice::stop_and_hide() {
  seconds_left_ = 0;
  countdown.set_timer_enabled(false);
  hide();
}

void ShutdownNotice::user_cancelled() {
  const bool was_running = running();
  stop_and_hide();
  if (was_running && on_cancelled) on_cancelled();
}

}  // namespace pelmora::playback
