#include "shell/frame.h"

#include "app/main_window.h"
#include "shell/shell_window.h"

namespace pelmora::app {
namespace {

using platform::Cursor;
using platform::MouseButton;
using platform::SystemDrag;
using platform::WindowEdge;
using platform::WindowState;
using shell::frame::border_zone;
using shell::frame::BorderZone;
using FrameTest = pelmora::testing::ShellTest;

// The panes reach into the right and bottom border bands, so only their outermost pixel is the
// window's own surface there; (500, 50) is free caption surface at the window's first size.

// The pointer comes to (x, y) of a control, in the window, as on screen.
void move_over(BA1& ba1, const platform::Control& control, int x, int y) {
  const platform::Rect place = ba1.form_rect(control);
  ba1.pointer().move(place.left + x, place.top + y);
}

TEST(BorderZones, BandsIncludeTheirInnerLineAndCornersWinOverEdges) {
  // A 730 x 466 window: the bands are x <= 3, x >= 727, y <= 3, y >= 463.
  struct Case {
    int x, y;
    BorderZone zone;
  };
  const Case cases[] = {
      {3, 100, {Cursor::kSizeWE, 10}},   {727, 100, {Cursor::kSizeWE, 11}},
      {2, 2, {Cursor::kSizeNWSE, 13}},   {4, 2, {Cursor::kSizeNS, 12}},
      {727, 3, {Cursor::kSizeNESW, 14}}, {729, 465, {Cursor::kSizeNWSE, 17}},
      {0, 463, {Cursor::kSizeNESW, 16}}, {100, 463, {Cursor::kSizeNS, 15}},
      {4, 4, {Cursor::kDefault, 0}},     {726, 462, {Cursor::kDefault, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(border_zone(c.x, c.y, 730, 466), c.zone) << c.x << "," << c.y;
  }
  EXPECT_EQ(shell::frame::edge_of(13), WindowEdge::kTopLeft);
  EXPECT_EQ(shell::frame::edge_of(17), WindowEdge::kBottomRight);
}

TEST_F(FrameTest, PointerOverTheBorderShowsTheResizeCursorAndPressingHandsTheEdgeToTheSystem) {
  BA1& ba1 = open_shell();
  const int W = ba1.scale_width();
  ba1.pointer().move(W - 1, 200);
  EXPECT_EQ(ba1.cursor(), Cursor::kSizeWE);
  ba1.pointer().move(2, 2);
  EXPECT_EQ(ba1.cursor(), Cursor::kSizeNWSE);
  ba1.pointer().press(2, 2);
  ASSERT_FALSE(ba1.system_drags().empty());
  EXPECT_EQ(ba1.system_drags().back(),
            (SystemDrag{SystemDrag::Kind::kResize, WindowEdge::kTopLeft}));
  EXPECT_TRUE(ba1.chrome.resizing);
}

TEST_F(FrameTest, TheTopBandNeverDragsAndTheFreeSurfaceDoes) {
  BA1& ba1 = open_shell();
  ba1.pointer().move(500, 2, MouseButton::kLeft);
  EXPECT_TRUE(ba1.system_drags().empty());
  ba1.pointer().press(500, 2);
  EXPECT_EQ(ba1.system_drags().back().edge, WindowEdge::kTop);
  ba1.end_system_drag();

  ba1.pointer().move(500, 50, MouseButton::kLeft);
  EXPECT_EQ(ba1.system_drags().back().kind, SystemDrag::Kind::kMove);
  EXPECT_TRUE(ba1.chrome.moving);
  // The bottom band drags too while the button is held.
  ba1.pointer().move(500, ba1.scale_height() - 1, MouseButton::kLeft);
  EXPECT_EQ(ba1.system_drags().back().kind, SystemDrag::Kind::kMove);
}

TEST_F(FrameTest, AMaximisedWindowShowsResizeCursorsButNeitherResizesNorDrags) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[1]);
  ASSERT_EQ(ba1.window_state(), WindowState::kMaximized);
  ba1.pointer().move(1, 200);
  EXPECT_EQ(ba1.cursor(), Cursor::kSizeWE);
  ba1.pointer().press(1, 200);
  ba1.pointer().move(500, 50, MouseButton::kLeft);
  EXPECT_TRUE(ba1.system_drags().empty());
}

TEST_F(FrameTest, TheSizeIsSavedOnceAtTheEndOfABorderResizeAndNeverAfterAMove) {
  set_setting("S_q", "h_w", "111");
  set_setting("S_q", "h_h", "222");
  BA1& ba1 = open_shell();
  ba1.pointer().press(ba1.scale_width() - 1, 200);
  EXPECT_EQ(setting("S_q", "h_w"), "111");  // the system's resize is still under way
  resize_to(ba1, 16005, 9000);
  ba1.end_system_drag();
  EXPECT_EQ(setting("S_q", "h_w"), "16005");
  EXPECT_EQ(setting("S_q", "h_h"), "9000");

  set_setting("S_q", "h_w", "111");
  ba1.pointer().move(500, 50, MouseButton::kLeft);
  ba1.move(1500, 1500, ba1.width(), ba1.height());
  ba1.end_system_drag();
  EXPECT_EQ(setting("S_q", "h_w"), "111");

  // Nor in compact mode.
  click_on(ba1, ba1.npc[15]);
  ba1.pointer().press(1, 100);
  ba1.end_system_drag();
  EXPECT_EQ(setting("S_q", "h_w"), "111");
}

TEST_F(FrameTest, DoubleClickTogglesMaximiseExceptInCompactMode) {
  BA1& ba1 = open_shell();
  ba1.pointer().double_click(500, 50);
  EXPECT_EQ(ba1.window_state(), WindowState::kMaximized);
  EXPECT_EQ(ba1.npc[1].tool_tip(), "还原");
  EXPECT_EQ(shown_at(ba1.npc[1]), "ppt(5) 0,0 24x24");
  ba1.pointer().double_click(500, 50);
  EXPECT_EQ(ba1.window_state(), WindowState::kNormal);
  EXPECT_EQ(ba1.npc[1].tool_tip(), "最大化");
  EXPECT_EQ(shown_at(ba1.npc[1]), "ppt(1) 96,0 24x24");

  click_on(ba1, ba1.npc[15]);
  ba1.pointer().double_click(500, 50);
  EXPECT_EQ(ba1.window_state(), WindowState::kNormal);
}

TEST_F(FrameTest, MinimisingStopsTheLayoutAndTheMenuButtonPopsUpBelowItself) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[0]);
  EXPECT_EQ(ba1.window_state(), WindowState::kMinimized);
  resize_to(ba1, 3000, 3000);
  EXPECT_EQ(ba1.width(), 3000);  // not corrected while minimised
  ba1.set_window_state(WindowState::kNormal);
  ba1.raise_resize();

  int menu_x = -1, menu_y = -1;
  ba1.pop_up_main_menu = [&](int x, int y) {
    menu_x = x;
    menu_y = y;
  };
  click_on(ba1, ba1.npc[5]);
  EXPECT_EQ(menu_x, ba1.npc[5].left() - 15);
  EXPECT_EQ(menu_y, ba1.npc[5].top() + 20);
  EXPECT_EQ(shown_at(ba1.npc[5]), "ppt(1) 48,0 24x24");
}

TEST_F(FrameTest, TheWindowIsLimitedToTheWorkAreaOrTheScreen) {
  BA1& ba1 = open_shell();
  EXPECT_EQ(ba1.window_limits(), (platform::WindowLimits{730, 467, 1920, 1040}));
  ba1.hook_minmax(0, 0, 0, 0);
  EXPECT_EQ(ba1.window_limits(), (platform::WindowLimits{730, 467, 1920, 1080}));
  EXPECT_GT(ba1.rounded_corner(), 0);
}

TEST_F(FrameTest, ThePinTogglesItsTipPictureAndTheWindowOnTop) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[4]);
  EXPECT_EQ(ba1.npc[4].tool_tip(), "取消置顶");
  EXPECT_EQ(shown_at(ba1.npc[4]), "ppt(6) 48,0 24x24");
  EXPECT_TRUE(ba1.top_most());
  EXPECT_TRUE(ba1.chrome.topmost);
  click_on(ba1, ba1.npc[4]);
  EXPECT_EQ(ba1.npc[4].tool_tip(), "置顶");
  EXPECT_EQ(shown_at(ba1.npc[4]), "ppt(6) 0,0 24x24");
  EXPECT_FALSE(ba1.top_most());
  EXPECT_FALSE(ba1.chrome.topmost);
}

TEST_F(FrameTest, TheCloseQuestionIsAskedOnceAndNoEndsTheProgramFromThenOn) {
  set_setting("S_q", "ts", "3");
  BA1& ba1 = open_shell();
  ba1.show();
  headless.dialogs.answer_next(platform::Answer::kNo);
  click_on(ba1, ba1.npc[2]);
  ASSERT_EQ(headless.dialogs.shown().size(), 1u);
  EXPECT_EQ(headless.dialogs.last()->title, "提示：");
  EXPECT_EQ(headless.dialogs.last()->text, "关闭 Pelmora 最小化到托盘吗？");
  EXPECT_EQ(setting("S_q", "ts"), "1");
  EXPECT_EQ(setting("S_q", "quit"), "1");
  EXPECT_FALSE(ba1.loaded());

  BA1& again = open_shell();
  again.show();
  click_on(again, again.npc[2]);
  EXPECT_EQ(headless.dialogs.shown().size(), 1u);
  EXPECT_FALSE(again.loaded());
}

TEST_F(FrameTest, AnsweringYesOrAStoredChoiceOtherThanQuitHidesToTheTray) {
  set_setting("S_q", "ts", "3");
  BA1& ba1 = open_shell();
  ba1.show();
  headless.dialogs.answer_next(platform::Answer::kYes);
  click_on(ba1, ba1.npc[2]);
  EXPECT_EQ(setting("S_q", "quit"), "2");
  EXPECT_TRUE(ba1.loaded());
  EXPECT_FALSE(ba1.shown());

  for (const char* quit : {"0", "2"}) {
    set_setting("S_q", "quit", quit);
    ba1.show();
    click_on(ba1, ba1.npc[2]);
    EXPECT_FALSE(ba1.shown()) << quit;
  }
  EXPECT_EQ(headless.dialogs.shown().size(), 1u);
}

TEST_F(FrameTest, WithoutANotificationAreaClosingMinimisesInsteadOfHiding) {
  set_setting("S_q", "ts", "1");
  set_setting("S_q", "quit", "2");
  headless.tray.has_notification_area = false;
  BA1& ba1 = open_shell();
  ba1.show();
  click_on(ba1, ba1.npc[2]);
  EXPECT_TRUE(ba1.shown());
  EXPECT_EQ(ba1.window_state(), WindowState::kMinimized);
}

TEST_F(FrameTest, TheSidePanelToggleHidesAndShowsThePanelWithBothTips) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[9]);  // the playback tab, which holds the toggle
  const int zz_width = ba1.zz.width();
  EXPECT_EQ(ba1.L1.width(), zz_width - 202);

  click_on(ba1, ba1.npc[6]);
  EXPECT_FALSE(ba1.l2.visible());
  EXPECT_EQ(ba1.npc[6].tool_tip(), "显示侧栏");
  EXPECT_EQ(ba1.bo_but[8].tool_tip(), "显示侧栏");
  EXPECT_EQ(ba1.L1.width(), zz_width);
  EXPECT_EQ(ba1.qvod.width(), zz_width);
  EXPECT_EQ(ba1.npc[6].left(), zz_width - 4);
  EXPECT_EQ(shown_at(ba1.npc[6]), "ppt(11) 3,0 3x40");

  click_on(ba1, ba1.npc[6]);
  EXPECT_TRUE(ba1.l2.visible());
  EXPECT_EQ(ba1.npc[6].tool_tip(), "关闭侧栏");
  EXPECT_EQ(ba1.bo_but[8].tool_tip(), "关闭侧栏");
  EXPECT_EQ(ba1.L1.width(), zz_width - 202);
  EXPECT_EQ(ba1.qvod.width(), zz_width - 202);
  EXPECT_EQ(ba1.npc[6].left(), zz_width - 202);
  EXPECT_EQ(shown_at(ba1.npc[6]), "ppt(11) 0,0 3x40");
}

TEST_F(FrameTest, HoveringACaptionButtonShowsItsHoverCellAndTheLabelBelowIt) {
  BA1& ba1 = open_shell();
  platform::PictureBox& close = ba1.npc[2];
  move_over(ba1, close, 5, 5);
  EXPECT_EQ(shown_at(close), "ppt(2) 120,0 24x24");
  EXPECT_TRUE(close.has_capture());
  EXPECT_TRUE(ba1.p1.visible());
  EXPECT_EQ(ba1.bo_tip.caption(), "关闭");
  EXPECT_EQ(ba1.p1.left(), close.left() - 5);
  EXPECT_EQ(ba1.p1.top(), close.top() + 24 + 3);
  EXPECT_EQ(ba1.p1.width(), ba1.bo_tip.width() + 5);

  move_over(ba1, close, 25, 5);  // the capture reports the pointer leaving
  EXPECT_EQ(shown_at(close), "ppt(1) 120,0 24x24");
  EXPECT_FALSE(close.has_capture());
  EXPECT_FALSE(ba1.p1.visible());

  // A tab shows its selected cell under the pointer but no label; the selected tab takes none.
  move_over(ba1, ba1.npc[9], 10, 10);
  EXPECT_EQ(shown_at(ba1.npc[9]), "ppt(7) 58,0 58x69");
  EXPECT_FALSE(ba1.p1.visible());
  move_over(ba1, ba1.npc[9], 59, 10);
  EXPECT_EQ(shown_at(ba1.npc[9]), "ppt(8) 58,0 58x69");

  // The history sub-tab keeps its picture, selected or not, as the pointer passes.
  move_over(ba1, ba1.npc[12], 61, 5);
  EXPECT_EQ(shown_at(ba1.npc[12]), "ppt(9) 60,0 60x21");

  click_on(ba1, ba1.npc[4]);
  move_over(ba1, ba1.npc[4], 1, 1);
  EXPECT_EQ(shown_at(ba1.npc[4]), "ppt(6) 72,0 24x24");
  EXPECT_EQ(ba1.bo_tip.caption(), "取消置顶");
}

TEST_F(FrameTest, LabelsTurnDarkRedUnderThePointerAndBackOnTheSurface) {
  BA1& ba1 = open_shell();
  // The list label sits above the side panel's list, on the playback tab.
  click_on(ba1, ba1.npc[9]);
  move_over(ba1, ba1.qk, 1, 1);
  EXPECT_EQ(ba1.qk.fore_color(), 0x000080u);
  ba1.pointer().move(500, 50);
  EXPECT_EQ(ba1.qk.fore_color(), 0x5A5A5Au);
  // The label that leaves compact mode shows only there.
  click_on(ba1, ba1.npc[15]);
  ASSERT_EQ(ba1.chrome.mini_mode, 1);
  move_over(ba1, ba1.jbi, 1, 1);
  EXPECT_EQ(ba1.jbi.fore_color(), 0x000080u);
  const platform::Rect label = ba1.form_rect(ba1.jbi);
  ba1.pointer().move(label.left + label.width + 20, label.top + 2);
  EXPECT_EQ(ba1.jbi.fore_color(), 0xFFFFFFu);
}

}  // namespace
}  // namespace pelmora::app
