// The transport bar: what a click on each of the nine buttons does, the hover cells and hints,
// the big play button on the advert panel, and the keyboard shortcuts. Also connects every
// control of the player area to its handler.
#include "app/main_window.h"

#include <algorithm>

#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/key_codes.h"
#include "playback/bar_math.h"
#include "playback/button_cells.h"
#include "playback/session.h"
#include "playback/status_text.h"
#include "playback/transport_buttons.h"
#include "util/display_width.h"
#include "util/text_helpers.h"

namespace pelmora::app {

namespace {

using platform::PlayState;
namespace cells = playback::cells;

using namespace playback::transport_button;

// The tooltips the buttons start with; those of buttons 0, 2 and 6 are their state.
constexpr const char* kButtonTips[] = {"播放",   "停止",     "静音",   "全屏",    "打开文件",
                                       "上一集", "计划关机", "下一集", "关闭侧栏"};

constexpr const char* kOpenFileFilter =
    "影音文件|*.rm;*.rmvb;*.wmv;*.mp3;*wma;*mid;*wav;*mpg;*mp4|所有文件|*.*";

}  // namespace

void BA1::wire_playback() {
  player_view.set_container(&qvod);
  show_status("准备就绪");
  times.set_caption("00:00 /00:00");
  next_s.set_caption("正准备播放下一集，请稍后...");
  next_s.set_visible(false);
  // Nothing plays yet: the advert panel stands in for the picture.
  bo_ad.set_visible(true);
  player_view.set_visible(false);

  Timer1.on_timer = [this] { Timer1_Timer(); };
  Timer3.on_timer = [this] { Timer3_Timer(); };

  for (int index = 0; index < static_cast<int>(bo_but.size()); ++index) {
    bo_but[index].set_tool_tip(kButtonTips[index]);
    bo_but[index].on_click = [this, index] { bo_but_Click(index); };
    bo_but[index].on_mouse_move = [this, index](const platform::MouseEvent& event) {
      bo_but_MouseMove(index, event);
    };
  }
  adp.on_click = [this] { adp_Click(); };
  on_key_down = [this](int key_code, int shift) { Form_KeyDown(key_code, shift); };
  // Held arrows go on seeking and stepping the volume; Space acts once per press.
  set_repeating_keys(
      {platform::keys::kLeft, platform::keys::kRight, platform::keys::kUp, platform::keys::kDown});

  yin.on_mouse_down = [this](const platform::MouseEvent& event) { yin_MouseDown(event); };
  bo_y.on_mouse_down = [this](const platform::MouseEvent& event) { bo_y_MouseDown(event); };
  bo_v.on_mouse_move = [this](const platform::MouseEvent& event) { bo_v_MouseMove(event); };
  gunt.on_mouse_down = [this](const platform::MouseEvent& event) { gunt_MouseDown(event); };
  gunt.on_mouse_up = [this](const platform::MouseEvent& event) { gunt_MouseUp(event); };
  gunt1.on_mouse_move = [this](const platform::MouseEvent& event) { gunt1_MouseMove(event); };
  gunt1.on_mouse_up = [this](const platform::MouseEvent& event) { gunt1_MouseUp(event); };
  huan.on_mouse_down = [this](const platform::MouseEvent& event) { huan_MouseDown(event); };
  huan.on_mouse_up = [this](const platform::MouseEvent& event) { huan_MouseUp(event); };
  // The thumb lies over the downloaded share, so it can be seen and taken.
  gunt1.bring_to_front();
  wire_player_mouse();
}

void BA1::toggle_pause() {
  switch (session().toggle_pause()) {
    case playback::Toggle::kPlays:
      show_playing(true, true);
      break;
    case playback::Toggle::kPaused:
      show_picture(false, true);
      show_status("已暂停");
      show_playing(false, true);
      break;
    case playback::Toggle::kNothing:
      return;
  }
  refresh_hover_label(kPlayPause);
}

void BA1::stop() {
  if (plays_web_page() || !session().loaded()) return;
  bo_ad.set_visible(true);
  player_view.set_visible(false);
  session().stop();
  show_playing(false, true);
  show_status("已停止");
  refresh_hover_label(kPlayPause);
}

void BA1::toggle_mute() {
  show_mute(chrome.mute == MuteButton::kSoundOn ? MuteButton::kMuted : MuteButton::kSoundOn, true);
  session().set_mute(chrome.mute == MuteButton::kMuted);
  refresh_hover_label(kMute);
}

void BA1::enter_full_screen() {
  if (session().state() != PlayState::kPlaying) return;
  show_tab(Tab::kPlayback);
  // The button's hover label would stay over the picture once full screen ends.
  p1.set_visible(false);
  session().set_full_screen(true);
}

void BA1::open_file() {
  p1.set_visible(false);
  const std::optional<std::string> path =
      services().dialogs.open_file("选择播放文件", kOpenFileFilter);
  if (!path || path->empty()) return;
  play_chosen_file(*path);
}

void BA1::step_from_bar(Direction direction) {
  const int index = direction == Direction::kPrevious ? kPreviousEpisode : kNextEpisode;
  // The button stays disabled until the step is over (its reply arrived, or a later episode
  // request dropped it), so a second press cannot ask the service again. A disabled button
  // hears no more of the pointer: its hover label and lit cell go now.
  refresh_hover_label(index);
  bo_but[index].set_enabled(false);
  step_episode(direction, [this, index] { bo_but[index].set_enabled(true); });
}

void BA1::refresh_hover_label(int index) {
  platform::PictureBox& button = bo_but[index];
  if (!button.has_capture() && !p1.visible()) return;
  // An episode step's button goes disabled next and hears no more of the pointer.
  if (index == kPreviousEpisode || index == kNextEpisode) {
    button.release_capture();
    p1.set_visible(false);
    if (const auto cell =
            cells::hover_cell(index, chrome.playing, chrome.mute == MuteButton::kSoundOn, false)) {
      cells::paint(button, ppt, *cell);
    }
    return;
  }
  // The pointer is still on the button: its label says the tip the button offers now.
  if (button.has_capture()) bo_tip.set_caption(button.tool_tip());
}

void BA1::bo_but_Click(int index) {
  platform::PictureBox& button = bo_but[index];
  switch (index) {
    case kPlayPause:
      toggle_pause();
      return;
    case kStop:
      stop();
      return;
    case kMute:
      toggle_mute();
      return;
    case kFullScreen:
      if (session().state() != PlayState::kPlaying) return;
      enter_full_screen();
      cells::paint(button, ppt, {cells::kAwayStrip, 50});
      return;
    case kOpenFile:
      cells::paint(button, ppt, {cells::kAwayStrip, 25});
      open_file();
      return;
    case kPreviousEpisode:
      step_from_bar(Direction::kPrevious);
      return;
    case kNextEpisode:
      step_from_bar(Direction::kNext);
      return;
    case kShutdownMenu:
      if (shutdown_menu != nullptr) popup_menu(*shutdown_menu);
      return;
    case kSidePanel:
      toggle_side_panel();
      return;
    default:
      return;
  }
}

void BA1::show_mute(MuteButton mute, bool paint_cell) {
  chrome.mute = mute;
  static constexpr const char* kTips[] = {"静音", "取消静音", "关闭声音"};
  bo_but[kMute].set_tool_tip(kTips[static_cast<int>(mute)]);
  // The volume bar and keys change only the tip; a click paints the button's cell.
  if (paint_cell) {
    cells::paint(bo_but[kMute], ppt, {cells::kMuteStrip, mute == MuteButton::kMuted ? 50 : 0});
  }
}

void BA1::bo_but_MouseMove(int index, const platform::MouseEvent& event) {
  set_cursor(platform::Cursor::kDefault);
  platform::PictureBox& button = bo_but[index];
  const bool over =
      event.x >= 0 && event.x <= button.width() && event.y >= 0 && event.y <= button.height();
  if (const auto cell =
          cells::hover_cell(index, chrome.playing, chrome.mute == MuteButton::kSoundOn, over)) {
    cells::paint(button, ppt, *cell);
  }
  if (!over) {
    button.release_capture();
    p1.set_visible(false);
    return;
  }
  button.set_capture();
  bo_tip.set_caption(button.tool_tip());
  bo_tip.move(3, 3, bo_tip.width(), bo_tip.height());
  p1.move(button.left() + button.width() / 2 - p1.width() / 2, scale_height() - 64,
          bo_tip.width() + 6, bo_tip.height() + 6);
  p1.set_visible(true);
}

void BA1::adp_Click() {
  toggle_pause();
}

void BA1::seek_by(int seconds) {
  session().seek_by(seconds);
  // The thumb and the time follow the seek at once; the monitor's tick keeps them there.
  const int position = std::max(session().position(), 0);
  const int duration = session().duration();
  gunt1.set_left(playback::bars::seek_thumb(position, duration, gunt.width() - gunt1.width()));
  times.set_caption(playback::status::time_display(position, duration));
}

void BA1::Form_KeyDown(int key_code, int) {
  // Keys typed into the search box are its text's: a space in a search word must not pause the
  // film, nor the arrows that move through the text seek it. A service page that plays takes
  // the keys itself.
  if (plays_web_page() || chrome.typing_search) return;
  switch (key_code) {
    case platform::keys::kSpace:
      toggle_pause();
      break;
    case platform::keys::kLeft:
      seek_by(-10);
      break;
    case platform::keys::kRight:
      seek_by(10);
      break;
    case platform::keys::kUp:
    case platform::keys::kDown:
      show_mute(MuteButton::kAfterVolumeKey, false);
      session().set_mute(false);
      session().set_volume(session().volume() + (key_code == platform::keys::kUp ? 10 : -10));
      {
        const int volume = session().volume();
        show_status("音量：" + std::to_string(volume) + "%");
        bo_v.set_left(playback::bars::volume_thumb(volume, yin.width() - bo_v.width()));
        bo_y.set_width(bo_v.left());
      }
      break;
    default:
      break;
  }
}

}  // namespace pelmora::app
