// What the main window's controls are to a screen reader and the keyboard: the role and name of
// each skinned control, and the order in which the Tab key walks them.
#include <algorithm>

#include "app/main_window.h"
#include "playback/session.h"

namespace pelmora::app {

namespace {

using platform::AccessRole;
using platform::AccessValue;

constexpr int kVolumeStep = 10;  // percent per arrow key, as the window's Up and Down keys

}  // namespace

void BA1::wire_access() {
  // Caption buttons and the side-panel toggle are read by their tips, which follow their state
  // (最大化 / 还原, 置顶 / 取消置顶, 关闭侧栏 / 显示侧栏).
  for (int index : {0, 1, 2, 4, 5, 6, 15}) npc[index].set_access(AccessRole::kButton);
  // The tabs carry their names in their pictures only.
  const std::pair<int, const char*> tabs[] = {{8, "片库"},      {9, "播放"},      {13, "电视"},
                                              {14, "音乐"},     {7, "推荐"},      {3, "小说"},
                                              {11, "正在播放"}, {12, "网络任务"}, {16, "本地列表"}};
  for (const auto& [index, name] : tabs) npc[index].set_access(AccessRole::kPageTab, name);

  // The transport buttons are read by their tips (播放 / 暂停, 静音 / 取消静音, ...).
  bo_but.for_each([](platform::PictureBox& button) { button.set_access(AccessRole::kButton); });
  // The big play button over the picture shows only while nothing plays.
  adp.set_access(AccessRole::kButton, "播放");
  soc.set_access(AccessRole::kButton, "搜索");
  jbi.set_access(AccessRole::kButton, "退出迷你模式");
  qk.set_access(AccessRole::kButton);  // read by its caption: 管理任务 or 清空列表
  webe.set_access(AccessRole::kButton);
  // The search box: its prompt is a hint, not text; Tab reaches it (the window keeps it from
  // taking the focus by itself while the mouse is in use, see the backend).
  soso.set_access(AccessRole::kNone, "搜索");
  soso.set_hint(soso.text());
  soso.set_tab_stop(true);

  // The bars: the seek bar in seconds of the item, the volume bar in percent. Their arrows do
  // what the window's keys do: the seek bar steps ten seconds as Left and Right; the volume bar
  // steps as a click at the next tenth of the bar.
  gunt.set_access(AccessRole::kSlider, "播放进度");
  gunt.access_value = [this] {
    if (!has_player()) return AccessValue{};
    return AccessValue{std::max(0, session().position()), 0, std::max(0, session().duration())};
  };
  gunt.on_step = [this](int direction) { seek_by(direction > 0 ? 10 : -10); };
  yin.set_access(AccessRole::kSlider, "音量");
  const auto volume_span = [this] { return std::max(1, yin.width() - bo_v.width()); };
  // The volume the player uses, not the thumb's place read back.
  yin.access_value = [this] {
    return AccessValue{has_player() ? std::clamp(session().volume(), 0, 100) : 0, 0, 100};
  };
  yin.on_step = [this, volume_span](int direction) {
    const int now = bo_v.left() * 100 / volume_span();
    const int wanted = std::clamp(now + direction * kVolumeStep, 0, 100);
    // The place on the bar that reads as the wanted volume (rounded up, as the bar truncates).
    const int x = (wanted * volume_span() + 99) / 100;
    yin_MouseDown(platform::MouseEvent{platform::MouseButton::kLeft, 0, x, 0});
  };

  // Web panes are named by the tab or list they show.
  Web1.set_access(AccessRole::kNone, "片库");
  Web9.set_access(AccessRole::kNone, "电视");
  Web10.set_access(AccessRole::kNone, "推荐");
  Web11.set_access(AccessRole::kNone, "小说");
  Web3.set_access(AccessRole::kNone, "网络任务");
  Web4.set_access(AccessRole::kNone, "本地列表");
  Web5.set_access(AccessRole::kNone, "正在播放");
  Web2.set_access(AccessRole::kNone, "播放");

  // The skin's orange marks the control that has the keyboard focus.
  set_focus_mark_color(0x227EE8);

  // Left to right, top to bottom: the caption, the tabs, the search, the pane on view, the side
  // panel, the player and the transport. Hidden controls are passed over.
  set_tab_order({&npc[15],   &npc[5], &npc[4],    &npc[0],    &npc[1],    &npc[2],    &jbi,
                 &npc[8],    &npc[9], &npc[13],   &npc[14],   &npc[7],    &npc[3],    &soso,
                 &soc,       &webe,   &Web1,      &Web9,      &Web10,     &Web11,     &Web2,
                 &adp,       &gunt,   &npc[6],    &npc[11],   &npc[12],   &npc[16],   &qk,
                 &Web5,      &Web3,   &Web4,      &bo_but[0], &bo_but[1], &bo_but[5], &bo_but[7],
                 &bo_but[2], &yin,    &bo_but[6], &bo_but[4], &bo_but[3], &bo_but[8]});
}

}  // namespace pelmora::app
