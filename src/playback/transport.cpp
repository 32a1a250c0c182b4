// The transport bar: what a click on each of the nine buttons does, the hover cells and hints,
// the big play button on the advert panel, and the keyboard shortcuts. Also connects every
// control of the player area to its handler.
#include "app/main_window.h"

#include "platform/backend.h"
#include "platform/dialogs.h"
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

// Frame buttons pressed from here.
constexpr int kSidePanelToggle = 6;
constexpr int kPlaybackTab = 9;
constexpr int kLocalListTab = 16;

constexpr int kKeySpace = 32;
constexpr int kKeyLeft = 37;
constexpr int kKeyUp = 38;
constexpr int kKeyRight = 39;
constexpr int kKeyDown = 40;

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
  Timer2.on_timer = [this] { Timer2_Timer(); };
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

void BA1::bo_but_Click(int index) {
  platform::PlayerControl* const qvod_c = player();
  const bool loaded = qvod_c != nullptr && !qvod_c->media_address().empty();
  platform::PictureBox& button = bo_but[index];
  switch (index) {
    case kPlayPause: {
      if (!loaded || Pic2.visible()) return;
      const int state = static_cast<int>(qvod_c->play_state());
      if (state > static_cast<int>(PlayState::kPlaying)) return;
      // A finished item plays again from here only after the stop button stopped it.
      if (state < 1 && !chrome.status_says_stopped) return;
      if (!chrome.playing) {
        // The monitor seeks back to the last position once playing resumes.
        session().resume_after_pause();
        qvod_c->play();
        if (!Timer1.timer_enabled()) Timer1.set_timer_enabled(true);
        show_playing(true, true);
      } else {
        qvod_c->pause();
        show_picture(false, true);
        show_status("已暂停");
        show_playing(false, true);
      }
      return;
    }
    case kStop: {
      if (Pic2.visible() || !loaded) return;
      bo_ad.set_visible(true);
      player_view.set_visible(false);
      session().stop();
      show_playing(false, true);
      show_status("已停止");
      return;
    }
    case kMute:
      show_mute(chrome.mute == MuteButton::kSoundOn ? MuteButton::kMuted : MuteButton::kSoundOn,
                true);
      if (qvod_c != nullptr) qvod_c->set_mute(chrome.mute == MuteButton::kMuted);
      return;
    case kFullScreen:
      if (qvod_c == nullptr || qvod_c->play_state() != PlayState::kPlaying) return;
      npc_Click(kPlaybackTab);
      // The button's hover label would stay over the picture once full screen ends.
      p1.set_visible(false);
      qvod_c->set_full_screen(true);
      cells::paint(button, ppt, {cells::kAwayStrip, 50});
      return;
    case kOpenFile: {
      cells::paint(button, ppt, {cells::kAwayStrip, 25});
      p1.set_visible(false);
      const std::optional<std::string> path =
          services().dialogs.open_file("选择播放文件", kOpenFileFilter);
      if (!path || path->empty()) return;
      play_chosen_file(*path);
      return;
    }
    case kPreviousEpisode:
    case kNextEpisode:
      // The button stays disabled until the step is over (its reply arrived, or a later
      // episode request dropped it), so a second press cannot ask the service again.
      button.set_enabled(false);
      step_episode(index == kPreviousEpisode ? 1 : 2,
                   [this, index] { bo_but[index].set_enabled(true); });
      return;
    case kShutdownMenu:
      if (shutdown_menu != nullptr) popup_menu(*shutdown_menu);
      return;
    case kSidePanel:
      npc_Click(kSidePanelToggle);
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
  bo_but_Click(kPlayPause);
}

void BA1::Form_KeyDown(int key_code, int) {
  // Keys typed into the search box are its text's: a space in a search word must not pause the
  // film, nor the arrows that move through the text seek it.
  if (!qvod.visible() || chrome.typing_search) return;
  services().backend.pump_events();
  platform::PlayerControl* const qvod_c = player();
  const int span = gunt.width() - gunt1.width();
  const auto show_volume = [this](platform::PlayerControl& control) {
    const int volume = control.volume();
    show_status("音量：" + std::to_string(volume) + "%");
    bo_v.set_left(playback::bars::volume_thumb(volume, yin.width() - bo_v.width()));
    bo_y.set_width(bo_v.left());
  };
  switch (key_code) {
    case kKeySpace:
      bo_but_Click(kPlayPause);
      break;
    case kKeyLeft:
      Timer1.set_timer_enabled(false);
      if (qvod_c != nullptr && qvod_c->position() > 0) {
        qvod_c->set_position(qvod_c->position() - 10);
        if (qvod_c->position() < 0) qvod_c->set_position(0);
        const int position = qvod_c->position();
        const int duration = qvod_c->duration();
        gunt1.set_left(playback::bars::seek_thumb(position, duration, span));
        times.set_caption(playback::status::time_display(position, duration));
      }
      break;
    case kKeyRight:
      Timer1.set_timer_enabled(false);
      if (qvod_c != nullptr && qvod_c->position() > 0) {
        qvod_c->set_position(qvod_c->position() + 10);
        services().backend.pump_events();
        if (qvod_c->duration() < qvod_c->position()) qvod_c->set_position(qvod_c->duration() - 2);
        // The thumb runs ten seconds ahead of the position read back; the next tick of the
        // monitor puts it right.
        const int position = qvod_c->position();
        const int duration = qvod_c->duration();
        gunt1.set_left(playback::bars::seek_thumb(position + 10, duration, span));
        times.set_caption(playback::status::time_display(position, duration));
      }
      break;
    case kKeyUp:
    case kKeyDown:
      show_mute(MuteButton::kAfterVolumeKey, false);
      if (qvod_c != nullptr) {
        qvod_c->set_mute(false);
        qvod_c->set_volume(qvod_c->volume() + (key_code == kKeyUp ? 10 : -10));
        show_volume(*qvod_c);
      }
      break;
    default:
      break;
  }
  Timer1.set_timer_enabled(true);
}

}  // namespace pelmora::app
