// The volume bar (track `yin`, thumb `bo_v`, filled part `bo_y`) and the seek bar (track `gunt`,
// thumb `gunt1`, downloaded share `huan`): mouse input turned into volume and position writes.
#include "app/main_window.h"

#include <algorithm>

#include "platform/backend.h"
#include "playback/bar_math.h"
#include "playback/session.h"

namespace pelmora::app {

namespace {

constexpr int kMuteButton = 2;

bool left_held(const platform::MouseEvent& event) {
  return (static_cast<int>(event.button) & static_cast<int>(platform::MouseButton::kLeft)) != 0;
}

}  // namespace

// ---- Volume ------------------------------------------------------------------------------------

namespace {

// Any use of the volume bar unmutes first.
void unmute(BA1& window) {
  window.show_mute(app::MuteButton::kSoundOn, false);
  window.session().set_mute(false);
}

// Fills the bar up to the thumb, writes the volume it stands for and shows what the player took.
// Returns the percentage written.
int apply_volume(BA1& window) {
  const int max = window.yin.width() - window.bo_v.width();
  window.bo_y.set_width(window.bo_v.left());
  const int percent = playback::bars::volume_percent(window.bo_v.left(), max);
  if (window.has_player()) {
    window.session().set_volume(percent);
    window.show_status("音量：" + std::to_string(window.session().volume()) + "%");
  }
  return percent;
}

void place_volume_thumb(BA1& window, int x) {
  const int max = window.yin.width() - window.bo_v.width();
  window.bo_v.set_left(x <= max ? x : max);
}

}  // namespace

void BA1::yin_MouseDown(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  unmute(*this);
  place_volume_thumb(*this, event.x);
  apply_volume(*this);
}

// The filled part and the download bar are labels, which the old toolkit reported in twips; the
// control model reports every control's mouse input in pixels, so their x is taken as it is.
void BA1::bo_y_MouseDown(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  unmute(*this);
  place_volume_thumb(*this, event.x);
  apply_volume(*this);
}

void BA1::bo_v_MouseMove(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  unmute(*this);
  const int max = yin.width() - bo_v.width();
  const int left = bo_v.left() + event.x;
  // A drag beyond either end leaves the thumb where it was.
  if (left < 0 || left > max) return;
  bo_v.set_left(std::clamp(left, 0, std::max(max, 0)));
  const int percent = apply_volume(*this);
  bo_v.set_tool_tip(std::to_string(percent));
}

// ---- Seek --------------------------------------------------------------------------------------

namespace {

// Seeks to the thumb's share of the item less `back_off` seconds, and keeps the position inside
// the item when the player reports one beyond its end.
void seek_to_thumb(BA1& window, int back_off) {
  playback::Session& session = window.session();
  if (!session.has_player()) return;
  const int span = window.gunt.width() - window.gunt1.width();
  const int length = session.duration();
  const std::optional<int> target =
      playback::bars::seek_target(window.gunt1.left(), span, length, back_off);
  if (!target) return;
  session.seek(length > 0 && *target > length ? length - 2 : *target);
}

}  // namespace

void BA1::gunt_MouseDown(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  gunt1.set_left(event.x);
}

void BA1::gunt_MouseUp(const platform::MouseEvent&) {
  services().backend.pump_events();
  seek_to_thumb(*this, 0);
}

void BA1::gunt1_MouseMove(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  const int span = gunt.width() - gunt1.width();
  gunt1.set_left(std::clamp(gunt1.left() + event.x, 0, std::max(span, 0)));
}

void BA1::gunt1_MouseUp(const platform::MouseEvent&) {
  services().backend.pump_events();
  // Dropped beyond the first two pixels, the seek lands two seconds early.
  seek_to_thumb(*this, gunt1.left() > 2 ? 2 : 0);
}

void BA1::huan_MouseDown(const platform::MouseEvent& event) {
  services().backend.pump_events();
  if (!left_held(event)) return;
  gunt1.set_left(event.x);
}

void BA1::huan_MouseUp(const platform::MouseEvent&) {
  services().backend.pump_events();
  seek_to_thumb(*this, 2);
}

}  // namespace pelmora::app
