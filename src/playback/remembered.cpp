// What the user left the player and the window at, kept in the settings file at exit and taken
// back at the next start: the volume, the mute switch and the window's place.
#include <algorithm>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "platform/screen.h"
#include "playback/bar_math.h"
#include "playback/session.h"

namespace pelmora::app {

namespace {

namespace keys = settings::keys;

// How much of the window stays on the work area when a remembered place lies off it (a screen
// that went away, a smaller screen): enough of the caption to take it and move it back.
constexpr int kKeepOnScreen = 120;
constexpr int kCaptionHeight = 40;

}  // namespace

void BA1::restore_remembered() {
  const settings::Settings& options = settings_store.get();
  if (has_player()) {
    if (options.volume) {
      session().set_volume(static_cast<int>(std::clamp(*options.volume, 0LL, 100LL)));
    }
    const int volume = std::clamp(session().volume(), 0, 100);
    bo_v.set_left(playback::bars::volume_thumb(volume, yin.width() - bo_v.width()));
    bo_y.set_width(bo_v.left());
    if (options.starts_muted()) {
      session().set_mute(true);
      show_mute(MuteButton::kMuted, true);
    }
  }
  if (options.left_twips && options.top_twips) {
    const int twips = twips_per_pixel();
    const platform::Rect area = services().screen.work_area();
    const long long left = *options.left_twips / twips;
    const long long top = *options.top_twips / twips;
    const int width = scale_width();
    const long long x = std::clamp<long long>(left, area.left - width + kKeepOnScreen,
                                              area.right() - kKeepOnScreen);
    const long long y = std::clamp<long long>(top, area.top, area.bottom() - kCaptionHeight);
    move(static_cast<int>(x) * twips, static_cast<int>(y) * twips, this->width(), height());
  }
}

void BA1::keep_remembered() {
  settings::SettingsFile file(settings_store.path());
  if (has_player()) {
    file.write(keys::kOptions, keys::kVolume,
               std::to_string(std::clamp(session().volume(), 0, 100)));
    file.write(keys::kOptions, keys::kMute, chrome.mute == MuteButton::kMuted ? "2" : "1");
  }
  // Only a window at its own place: a maximised or compact window is somewhere the next start
  // would not want it. (Full screen leaves the form's place as it was before.)
  if (window_state() == platform::WindowState::kNormal && chrome.mini_mode == 0) {
    file.write(keys::kOptions, keys::kLeft, std::to_string(left()));
    file.write(keys::kOptions, keys::kTop, std::to_string(top()));
  }
  settings_written(file.save());
}

}  // namespace pelmora::app
