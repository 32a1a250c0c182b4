// The mouse on the player: the wheel over the picture and the volume bar changes the volume, and
// a right click on the picture pops up the player's menu.
#include <algorithm>

#include "app/main_window.h"
#include "playback/bar_math.h"
#include "playback/session.h"

namespace pelmora::app {

namespace {

// One notch of a common wheel, in the toolkit's eighths of a degree, and the volume it moves.
constexpr int kNotch = 120;
constexpr int kPercentPerNotch = 5;

}  // namespace

void BA1::set_volume_from_user(int percent) {
  show_mute(MuteButton::kSoundOn, false);
  if (!has_player()) return;
  session().set_mute(false);
  session().set_volume(std::clamp(percent, 0, 100));
  // What the player took, as the bar and the keys show it.
  const int volume = session().volume();
  bo_v.set_left(
      playback::bars::volume_thumb(std::clamp(volume, 0, 100), yin.width() - bo_v.width()));
  bo_y.set_width(bo_v.left());
  show_status("音量：" + std::to_string(volume) + "%");
}

void BA1::player_Wheel(int delta) {
  if (!has_player()) return;
  // A touchpad turns the wheel by parts of a notch: they add up until a step is whole.
  wheel_rest += delta * kPercentPerNotch;
  const int steps = wheel_rest / kNotch;
  if (steps == 0) return;
  wheel_rest -= steps * kNotch;
  set_volume_from_user(std::clamp(session().volume(), 0, 100) + steps);
}

void BA1::player_MouseUp(const platform::MouseEvent& event) {
  if (event.button != platform::MouseButton::kRight || !pop_up_player_menu) return;
  pop_up_player_menu();
}

void BA1::wire_player_mouse() {
  accepts_drop = [this](const std::vector<std::string>& items) { return playable_drop(items); };
  on_drop = [this](const std::vector<std::string>& items) { drop(items); };
  const auto wheel = [this](int delta) { player_Wheel(delta); };
  const auto mouse_up = [this](const platform::MouseEvent& event) { player_MouseUp(event); };
  // The picture, or the advert panel in its place (with its play button and notice), and the
  // volume bar with its thumb and fill, which hand their wheel to the bar.
  for (platform::Control* control :
       {static_cast<platform::Control*>(&player_view), static_cast<platform::Control*>(&bo_ad),
        static_cast<platform::Control*>(&yin)}) {
    control->on_wheel = wheel;
  }
  for (platform::Control* control :
       {static_cast<platform::Control*>(&player_view), static_cast<platform::Control*>(&bo_ad),
        static_cast<platform::Control*>(&adp)}) {
    control->on_mouse_up = mouse_up;
  }
}

}  // namespace pelmora::app
