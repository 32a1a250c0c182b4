#include "playback/transport_remote.h"

#include <algorithm>
#include <utility>

#include "app/main_window.h"
#include "playback/bar_math.h"
#include "playback/button_cells.h"
#include "playback/session.h"
#include "playback/status_text.h"
#include "playback/transport_buttons.h"

namespace pelmora::playback {

namespace {

using platform::MediaState;
using platform::PlaybackStatus;
using platform::PlayState;

using namespace transport_button;

// The player's state code as the desktop names it. Buffering, connecting and the like are part
// of playing: the user is watching and has asked for nothing else.
PlaybackStatus status_of(PlayState state) {
  switch (state) {
    case PlayState::kPlaying:
    case PlayState::kBuffering:
    case PlayState::kWaiting:
    case PlayState::kPreparing:
    case PlayState::kReconnecting:
    case PlayState::kFetchingSeed:
    case PlayState::kConnecting:
      return PlaybackStatus::kPlaying;
    case PlayState::kPaused:
      return PlaybackStatus::kPaused;
    case PlayState::kReady:
    case PlayState::kStopped:
    case PlayState::kEnded:
    case PlayState::kStopping:
      break;
  }
  return PlaybackStatus::kStopped;
}

}  // namespace

TransportRemote::TransportRemote(app::BA1& window) : window_(window) {}

// The player holds an item and the transport bar acts on it (an item that plays as a web page
// has its own controls in the page).
bool TransportRemote::loaded() const {
  return window_.loaded() && window_.session().loaded() && !window_.plays_web_page();
}

MediaState TransportRemote::state() {
  MediaState state;
  const playback::Session& session = window_.session();
  const std::string address = session.loaded() ? session.address() : std::string();
  if (address.empty()) {
    last_address_.clear();
    last_start_ = 0;
  } else if (address != last_address_ || window_.session().starts() != last_start_) {
    // The same file played again is another item too: the list entry was started afresh.
    last_address_ = address;
    last_start_ = window_.session().starts();
    ++item_;
  }
  if (session.has_player()) state.volume = session.volume();
  if (!loaded()) return state;
  state.item = item_;
  state.status = status_of(session.state());
  state.title = window_.chrome.title;
  state.length = std::max(session.duration(), 0);
  state.can_play = true;
  state.can_pause = true;
  state.can_seek = state.length > 0;
  state.can_go_next =
      window_.bo_but[kNextEpisode].enabled() && window_.can_step_episode(app::Direction::kNext);
  state.can_go_previous = window_.bo_but[kPreviousEpisode].enabled() &&
                          window_.can_step_episode(app::Direction::kPrevious);
  return state;
}

int TransportRemote::position() const {
  return loaded() ? std::max(window_.session().position(), 0) : 0;
}

void TransportRemote::raise() {
  if (!window_.loaded()) return;
  // Hiding and showing again brings the window to the front, also out of the tray.
  window_.hide();
  window_.show();
  if (window_.window_state() == platform::WindowState::kMinimized) {
    window_.set_window_state(platform::WindowState::kNormal);
  }
}

void TransportRemote::quit() {
  if (window_.loaded()) window_.ttt_v();
}

// The play / pause button's tooltip says what its next click does ("播放" plays, "暂停"
// pauses); the status monitor brings it in line with the player once a second. A key pressed
// in the second after an item started would find it behind, so it is brought in line first, as
// the monitor's next tick would.
void TransportRemote::catch_up_play_button() {
  const PlayState state = window_.session().state();
  if (state == PlayState::kPlaying && !window_.chrome.playing) {
    window_.show_playing(true, true);
  } else if (state == PlayState::kPaused && window_.chrome.playing) {
    window_.show_playing(false, true);
  }
}

void TransportRemote::play_pause() {
  if (!loaded()) return;
  catch_up_play_button();
  window_.toggle_pause();
}

// Play and Pause click the button only when it would do what was asked.
void TransportRemote::play() {
  if (!loaded()) return;
  catch_up_play_button();
  if (!window_.chrome.playing) window_.toggle_pause();
}

void TransportRemote::pause() {
  if (!loaded()) return;
  catch_up_play_button();
  if (window_.chrome.playing) window_.toggle_pause();
}

void TransportRemote::stop() {
  if (loaded()) window_.stop();
}

void TransportRemote::next() {
  if (loaded() && window_.bo_but[kNextEpisode].enabled()) {
    window_.step_from_bar(app::Direction::kNext);
  }
}

void TransportRemote::previous() {
  if (loaded() && window_.bo_but[kPreviousEpisode].enabled()) {
    window_.step_from_bar(app::Direction::kPrevious);
  }
}

void TransportRemote::seek_to(int seconds) {
  if (!loaded()) return;
  playback::Session& session = window_.session();
  // As after every seek of the seek bar: a target past the end lands two seconds before it.
  const int length = session.duration();
  session.seek(length > 0 && seconds > length ? length - 2 : std::max(seconds, 0));
  const int position = session.position();
  const int duration = session.duration();
  window_.gunt1.set_left(
      bars::seek_thumb(position, duration, window_.gunt.width() - window_.gunt1.width()));
  window_.times.set_caption(status::time_display(position, duration));
}

void TransportRemote::set_volume(int percent) {
  if (!window_.loaded()) return;
  percent = std::clamp(percent, 0, 100);
  // As the volume bar: unmute, place the thumb, fill the bar, write and show the volume.
  window_.show_mute(app::MuteButton::kSoundOn, false);
  playback::Session& session = window_.session();
  session.set_mute(false);
  const int max = window_.yin.width() - window_.bo_v.width();
  window_.bo_v.set_left(bars::volume_thumb(percent, max));
  window_.bo_y.set_width(window_.bo_v.left());
  if (!session.has_player()) return;
  session.set_volume(percent);
  window_.show_status("音量：" + std::to_string(session.volume()) + "%");
}

void TransportRemote::open(const std::string& address) {
  if (window_.loaded()) window_.Form_LinkExecute(address);
}

MediaWatch::MediaWatch(platform::MediaControls& controls, platform::IdleInhibitor& inhibitor,
                       Changed changed)
    : controls_(controls), inhibitor_(inhibitor), changed_(std::move(changed)) {}

void MediaWatch::check() {
  const MediaState now = controls_.state();
  // Only playing keeps the screen awake; pausing, stopping, the end of the item and the window
  // going away release it.
  inhibitor_.set_held(now.status == platform::PlaybackStatus::kPlaying);
  if (now == last_) return;
  const MediaState before = std::exchange(last_, now);
  if (changed_) changed_(last_, before);
}

}  // namespace pelmora::playback
