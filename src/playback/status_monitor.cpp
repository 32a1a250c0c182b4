// The once-a-second status monitor (`Timer1`) and the end of an item (`Timer2`): the status line,
// the time display, the seek and download bars, the play / pause button, the hand-over of the
// next episode to the player and what happens when the item ends.
#include "app/main_window.h"

#include "app/settings_store.h"
#include "playback/bar_math.h"
#include "playback/button_cells.h"
#include "playback/status_text.h"
#include "util/text_helpers.h"

namespace pelmora::app {

namespace {

using platform::PlayState;

// Thousandths of the item that must be downloaded before the next episode is prepared.
constexpr int kNextEpisodePermille = 601;
// Where the download bar hides while nothing is downloaded.
constexpr int kHiddenBarLeft = -30;

// A next-episode link that names an episode (not "none", "not fetched" or "failed").
bool next_episode_ready(const std::string& next_link) {
  return !next_link.empty() && next_link != "1" && next_link != "0" && next_link != "3";
}

}  // namespace

void BA1::Timer1_Timer() {
  platform::PlayerControl* const qvod_c = player();
  const std::string address = qvod_c != nullptr ? qvod_c->media_address() : std::string();
  if (address.empty()) {
    bo_but[0].set_tool_tip("播放");
    zhun.set_caption("准备就绪");
    huan.set_left(kHiddenBarLeft);
    return;
  }

  // A finished item resumes from its start: the end-of-playback step saved that as 1, and the
  // finished player's position of 0 must not undo it (a stop would then keep an old resume
  // point in the history list).
  const int read_position = qvod_c->position();
  last_position = qvod_c->play_state() == PlayState::kReady ? 1 : read_position;
  const int duration = qvod_c->duration();
  const int position = qvod_c->position();
  // The last two seconds of an item whose length is known: the end-of-playback step follows.
  if (duration > 0 && duration - 2 < position && position > 0) {
    Timer2.set_timer_enabled(true);
    if (settings::as_number(settings::read_ini(ini_path, "S_q", "s_pao")) != 2) return;
    if (shutdown_armed()) {
      balloon("即将播放完毕，正准备自动关机！");
    } else if (next_episode_ready(next_link)) {
      balloon("正在准备播放下一集！");
    }
  }

  transfer_rate = qvod_c->transfer_rate();
  const int permille = qvod_c->download_permille();
  if (permille > kNextEpisodePermille && next_addr != "1" && next_busy == 0) {
    if (next_addr == "0") {
      fetch_next();
    } else {
      qvod_c->prepare_next(next_addr);
      next_busy = 1;
      if (settings::as_number(settings::read_ini(ini_path, "S_q", "s_pao")) == 2) {
        balloon("开始缓冲下一集！");
      }
    }
  }

  const PlayState state = qvod_c->play_state();
  play_state = static_cast<int>(state);
  if (state == PlayState::kPlaying) {
    if (resume_pos > 0 && resume_done == 0) {
      if (qvod_c->position() < resume_pos) qvod_c->set_position(resume_pos);
      resume_done = 1;
    }
    bo_ad.set_visible(false);
    player_view.set_visible(true);
    resume_pos = qvod_c->position();
    next_s.set_visible(false);
    if (bo_but[0].tool_tip() == "播放") {
      bo_but[0].set_tool_tip("暂停");
      playback::cells::paint(bo_but[0], ppt, playback::cells::kPauseCell);
    }
    zhun.set_caption(
        playback::status::playing_text(transfer_rate, qvod_c->position(), qvod_c->stream_rate()));
  } else {
    bo_ad.set_visible(true);
    player_view.set_visible(false);
    const auto failure = state == PlayState::kStopped
                             ? playback::status::failure_text(qvod_c->failure())
                             : std::nullopt;
    if (const auto text =
            failure ? failure : playback::status::state_text(state, transfer_rate, true)) {
      zhun.set_caption(*text);
    }
    if (state == PlayState::kReady || state == PlayState::kStopped || state == PlayState::kPaused) {
      bo_but[0].set_tool_tip("播放");
    }
    if (state == PlayState::kPaused) {
      playback::cells::paint(bo_but[0], ppt, playback::cells::kPlayCell);
    }
  }

  const int now = qvod_c->position();
  const int length = qvod_c->duration();
  times.set_caption(playback::status::time_display(now, length));
  // A thumb the user is dragging stays under the pointer: placed back here, the drop would seek
  // from wherever the tick left it.
  if (pointer().pressed() != &gunt1) {
    gunt1.set_left(playback::bars::seek_thumb(now, length, gunt.width() - gunt1.width()));
  }
  times.set_left(qvod.width() - times.width() - 13);
  gunt1.set_tool_tip(text::time_text(now));

  const int downloaded = qvod_c->download_permille();
  if (downloaded < 1) {
    huan.move(kHiddenBarLeft, huan.top(), 0, huan.height());
  } else {
    huan.move(0, 0, playback::bars::round_even(gunt.width() * (downloaded / 1000.0)),
              huan.height());
  }
}

void BA1::Timer2_Timer() {
  bo_ad.set_visible(true);
  player_view.set_visible(false);
  zhun.set_caption("播放完毕");
  // Nothing plays any more: the play / pause button offers play again.
  bo_but[0].set_tool_tip("播放");
  playback::cells::paint(bo_but[0], ppt, playback::cells::kPlayCell);
  Timer2.set_timer_enabled(false);
  if (shutdown_armed()) {
    Timer1.set_timer_enabled(false);
    shut_down(true);
    return;
  }
  resume_pos = 1;
  last_position = 1;
  if (next_link == "3") {
    Web2.navigate(config().end_marker);
  } else if (next_episode_ready(next_link)) {
    Timer1.set_timer_enabled(false);
    next_s.set_visible(true);
    Web2.navigate(config().end_marker);
  }
}

}  // namespace pelmora::app
