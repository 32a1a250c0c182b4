#include "shell/layout.h"

#include "app/main_window.h"
#include "shell/shell_window.h"

namespace pelmora::app {
namespace {

using platform::Rect;
using platform::WindowState;
using LayoutTest = pelmora::testing::ShellTest;
namespace layout = shell::layout;

TEST(LayoutTables, CaptionButtonsRunLeftFromTheCloseButtonAndTabsRightFromX15) {
  const layout::CaptionRow row = layout::caption_row(900);
  EXPECT_EQ(row.close, (Rect{868, 4, 24, 24}));
  EXPECT_EQ(900 - row.pin.left, 152);
  EXPECT_EQ(row.minimise.left, 900 - 80);
  const layout::TabStrip tabs = layout::tab_strip();
  EXPECT_EQ(tabs.library.left, 15);
  EXPECT_EQ(tabs.recommendations, (Rect{365, 30, 58, 69}));
}

TEST(LayoutTables, TheVolumeKnobSpansTheBarLessItsOwnWidth) {
  EXPECT_EQ(layout::volume_knob_left(80, 10, 0), 0);
  EXPECT_EQ(layout::volume_knob_left(80, 10, 100), 70);
  EXPECT_EQ(layout::volume_knob_left(80, 10, 50), 35);
}

TEST(LayoutTables, TheCompactTitleWrapsInTheRoomLeftOfTheCloseLabelLess50) {
  EXPECT_EQ(layout::compact_title(200, 300).wraps, false);
  EXPECT_EQ(layout::compact_title(200, 300).width, 200);
  EXPECT_EQ(layout::compact_title(251, 300).wraps, true);
  EXPECT_EQ(layout::compact_title(251, 300).width, 250);
  EXPECT_EQ(layout::text_width("ab播放"), 36);
}

TEST_F(LayoutTest, ANormalWindowSnapsBackToItsMinimumSizeAndAMaximisedOneDoesNot) {
  BA1& ba1 = open_shell();
  resize_to(ba1, 6000, 3000);
  EXPECT_EQ(ba1.width(), 10950);
  EXPECT_EQ(ba1.height(), 7000);
  EXPECT_EQ(ba1.npc[2].left(), 730 - 32);
  // The top band is stretched over the narrowest window from its 10-pixel slice.
  const platform::CellCopy* band = ba1.cell_at(300, 50);
  ASSERT_NE(band, nullptr);
  EXPECT_EQ(band->to, (Rect{40, 0, 660, 105}));
  EXPECT_EQ(band->from, (Rect{40, 0, 10, 105}));

  ba1.set_window_state(WindowState::kMaximized);
  resize_to(ba1, 6000, 3000);
  EXPECT_EQ(ba1.width(), 6000);
  EXPECT_EQ(ba1.height(), 3000);
}

TEST_F(LayoutTest, CaptionButtonsKeepTheirDistanceFromTheRightEdgeAtAnyWidth) {
  BA1& ba1 = open_shell();
  for (int width_twips : {10950, 13590, 20000}) {
    resize_to(ba1, width_twips, 9000);
    const int W = ba1.scale_width();
    EXPECT_EQ(W - ba1.npc[2].left(), 32) << width_twips;
    EXPECT_EQ(W - ba1.npc[4].left(), 152) << width_twips;
    EXPECT_EQ(ba1.soimg.left(), W - 270);
    EXPECT_EQ(ba1.bo_but[8].left(), W - 47);
  }
}

TEST_F(LayoutTest, PanesFillTheMiddleAndBrowsersOverlapTheirContainersBy2Pixels) {
  BA1& ba1 = open_shell();
  resize_to(ba1, 15000, 9000);  // 1000 x 600 pixels
  EXPECT_EQ(ba1.zz.rect(), (Rect{2, 105, 996, 493}));
  for (platform::PictureBox* pane : {&ba1.zzp, &ba1.ying, &ba1.yingyong, &ba1.xiaoshuo}) {
    EXPECT_EQ(pane->rect(), ba1.zz.rect()) << pane->name();
  }
  EXPECT_EQ(ba1.Web1.rect(), (Rect{-2, -2, 1000, 497}));
  EXPECT_EQ(ba1.Web9.rect(), (Rect{-2, -2, 1000, 497}));
  EXPECT_EQ(ba1.bo_foot.rect(), (Rect{0, 462, 996, 31}));
  // The side panel: 202 wide above the bottom bar, its lists under the 28-pixel header and above
  // the 20-pixel strip.
  EXPECT_EQ(ba1.l2.rect(), (Rect{794, 0, 202, 462}));
  EXPECT_EQ(ba1.Pic3.rect(), (Rect{0, 28, 202, 414}));
  EXPECT_EQ(ba1.Web5.rect(), (Rect{-2, -2, 206, 418}));
  EXPECT_EQ(ba1.shan.rect(), (Rect{0, 442, 202, 20}));
  EXPECT_EQ(ba1.npc[16].rect(), (Rect{134, 4, 60, 21}));
  EXPECT_EQ(ba1.npc[6].rect(), (Rect{794, 231, 3, 40}));
  // The player area fills the left area; the transport row centres on the bar.
  EXPECT_EQ(ba1.qvod.rect(), (Rect{0, 0, 794, 462}));
  EXPECT_EQ(ba1.gunt.top() + ba1.gunt.height(), 462);
  EXPECT_EQ(ba1.bo_zt.top() + ba1.bo_zt.height(), ba1.gunt.top());
  EXPECT_EQ(ba1.player_view.rect(), (Rect{0, 0, 794, ba1.bo_zt.top()}));
  EXPECT_EQ(ba1.bo_ad.rect(), ba1.player_view.rect());
  EXPECT_EQ(ba1.bo_but[1].left(), 996 / 2 - 150);
  EXPECT_EQ(ba1.bo_but[0].rect(), (Rect{348 + 57, 1, 50, 30}));
  EXPECT_EQ(ba1.yin.left(), ba1.bo_but[2].left() + 26);
}

TEST_F(LayoutTest, TheVolumeKnobFollowsThePlayersVolume) {
  BA1& ba1 = open_shell();
  player().volume_percent = 0;
  ba1.qvod_Resize();
  EXPECT_EQ(ba1.bo_v.left(), 0);
  EXPECT_EQ(ba1.bo_y.width(), 0);
  player().volume_percent = 100;
  ba1.qvod_Resize();
  EXPECT_EQ(ba1.bo_v.left(), ba1.yin.width() - ba1.bo_v.width());
  EXPECT_EQ(ba1.bo_y.width(), ba1.bo_v.left());
}

TEST_F(LayoutTest, CompactModeHasItsOwnMinimumAndPullsTheWebPageUp) {
  BA1& ba1 = open_shell();
  ba1.npc_Click(15);
  EXPECT_EQ(ba1.width(), 5800);
  EXPECT_EQ(ba1.height(), 4800);
  EXPECT_EQ(ba1.zz.rect(), (Rect{2, 20, 382, 297}));
  EXPECT_EQ(ba1.Web2.rect(), (Rect{-2, -20, 386, 317}));
  EXPECT_EQ(ba1.zhun.width(), 120);
  EXPECT_EQ(ba1.jbi.left(), 5800 / 15 - ba1.jbi.width() - 13);
  resize_to(ba1, 1000, 1000);
  EXPECT_EQ(ba1.width(), 4100);
  EXPECT_EQ(ba1.height(), 3000);
}

TEST_F(LayoutTest, ALongCompactTitleWrapsAShortOneDoesNot) {
  BA1& ba1 = open_shell();
  ba1.show_title("短标题");
  ba1.npc_Click(15);
  EXPECT_EQ(ba1.ni_bo1.caption(), "短标题");
  EXPECT_FALSE(ba1.chrome.compact_title_wraps);
  EXPECT_EQ(ba1.ni_bo1.rect(), (Rect{13, 5, 36, layout::kLineHeight}));

  ba1.show_title("一个很长很长很长很长很长很长的节目名称第一百二十三集高清版");
  resize_to(ba1, 5800, 4800);
  const int room = ba1.jbi.left() - 50;
  EXPECT_GT(ba1.ni_name.width(), room);
  EXPECT_TRUE(ba1.chrome.compact_title_wraps);
  EXPECT_EQ(ba1.ni_bo1.width(), room);
  EXPECT_GT(ba1.ni_bo1.height(), layout::kLineHeight);
}

}  // namespace
}  // namespace pelmora::app
