// The once-a-second status monitor (`Timer1`) and the end of an item (`Timer2`) on the window:
// the session reads the player and decides; this draws the status line, the time display, the
// seek and download bars and the play / pause button from what it returns.
#include "app/main_window.h"
#include "playback/bar_math.h"
#include "playback/button_cells.h"
#include "playback/session.h"
#include "playback/status_text.h"
#include "util/text_helpers.h"

namespace pelmora::app {

namespace {

// Where the download bar hides while nothing is downloaded.
constexpr int kHiddenBarLeft = -30;

}  // namespace

void BA1::show_playing(bool playing, bool paint_cell) {
  chrome.playing = playing;
  bo_but[0].set_tool_tip(playing ? "暂停" : "播放");
  if (paint_cell) {
    playback::cells::paint(bo_but[0], ppt,
                           playing ? playback::cells::kPauseCell : playback::cells::kPlayCell);
  }
}

void BA1::show_picture(bool playing, bool paused) {
  const bool picture = playing || (paused && !chrome.advert_shown);
  bo_ad.set_visible(!picture);
  player_view.set_visible(picture);
}

void BA1::Timer1_Timer() {
  const playback::TransportView view = session().tick();
  if (!view.loaded) {
    show_playing(false, false);
    show_status("准备就绪");
    huan.set_left(kHiddenBarLeft);
    return;
  }
  if (view.held) return;

  show_picture(view.picture, view.paused);
  if (view.next_notice_off) next_s.set_visible(false);
  switch (view.play_button) {
    case playback::PlayButton::kShowPause:
      if (!chrome.playing) show_playing(true, true);
      break;
    case playback::PlayButton::kOfferPlay:
      show_playing(false, false);
      break;
    case playback::PlayButton::kOfferPlayCell:
      show_playing(false, true);
      break;
    case playback::PlayButton::kUnchanged:
      break;
  }
  if (view.status) show_status(*view.status);

  times.set_caption(playback::status::time_display(view.position, view.duration));
  // A thumb the user is dragging stays under the pointer: placed back here, the drop would seek
  // from wherever the tick left it.
  if (pointer().pressed() != &gunt1) {
    gunt1.set_left(
        playback::bars::seek_thumb(view.position, view.duration, gunt.width() - gunt1.width()));
  }
  times.set_left(qvod.width() - times.width() - 13);
  gunt1.set_tool_tip(text::time_text(view.position));

  if (view.downloaded_permille < 1) {
    huan.move(kHiddenBarLeft, huan.top(), 0, huan.height());
  } else {
    huan.move(0, 0, playback::bars::round_even(gunt.width() * (view.downloaded_permille / 1000.0)),
              huan.height());
  }
}

void BA1::show_finished() {
  bo_ad.set_visible(true);
  player_view.set_visible(false);
  show_status("播放完毕");
  // Nothing plays any more: the play / pause button offers play again.
  show_playing(false, true);
}

}  // namespace pelmora::app
