#include "app/main_window.h"

#include "support/main_window_fixture.h"
#include "tray/tips_form.h"

namespace pelmora::app {
namespace {

using platform::WindowState;

class TrayIcon : public pelmora::testing::MainWindowTest {
 protected:
  BA1& open_with_icon() {
    BA1& ba1 = open_window();
    if (!headless.tray.shown()) ba1.tray_add();
    ba1.show();
    return ba1;
  }
};

TEST_F(TrayIcon, LeftClickHidesShowsAndRestoresTheWindow) {
  BA1& ba1 = open_with_icon();
  EXPECT_EQ(headless.tray.tip(), "Pelmora");
  headless.tray.on_left_click();
  EXPECT_FALSE(ba1.shown());
  headless.tray.on_left_click();
  EXPECT_TRUE(ba1.shown());
  // A minimised window is restored, not hidden.
  ba1.set_window_state(WindowState::kMinimized);
  headless.tray.on_left_click();
  EXPECT_EQ(ba1.window_state(), WindowState::kNormal);
  EXPECT_TRUE(ba1.shown());
}

TEST_F(TrayIcon, RightClickAndTheFrameMenuButtonPopUpTheMainMenu) {
  BA1& ba1 = open_with_icon();
  ba1.tip_form().hide();
  headless.backend.choose_next_menu_item("帮助提示");
  headless.tray.on_right_click();
  // The icon's menu offers the main menu's entries after its own.
  EXPECT_EQ(headless.backend.popups().back(), "tray_menu");
  EXPECT_TRUE(ba1.tip_form().shown());
  lay_out(ba1);
  click_on(ba1, ba1.npc[5]);
  EXPECT_EQ(headless.backend.popups().size(), 2u);
  EXPECT_EQ(ba1.shutdown_menu, &ba1.tip_form().guan);
}

TEST_F(TrayIcon, ItsMenuShowsTheWindowAndPlaysOrPauses) {
  BA1& ba1 = open_with_icon();
  ba1.hide();
  headless.backend.choose_next_menu_item("显示主界面");
  headless.tray.on_right_click();
  EXPECT_TRUE(ba1.shown());
  ba1.Pic2.set_visible(false);  // the player, not a web page, is on view
  player().address = "clip.mp4";
  player().state = platform::PlayState::kPaused;
  headless.backend.choose_next_menu_item("播放");
  headless.tray.on_right_click();
  EXPECT_EQ(player().calls.back(), "Play");
}

TEST_F(TrayIcon, ARemovedIconNoLongerMovesTheWindowOrPopsUpMenus) {
  BA1& ba1 = open_with_icon();
  ba1.tray_remove();
  headless.tray.on_left_click();
  headless.tray.on_right_click();
  EXPECT_TRUE(ba1.shown());
  EXPECT_TRUE(headless.backend.popups().empty());
}

TEST_F(TrayIcon, GoesAwayWithTheWindowAndLeavesNoClickBehind) {
  open_with_icon();
  window.reset();
  EXPECT_FALSE(headless.tray.shown());
  EXPECT_FALSE(headless.tray.on_left_click);
  EXPECT_FALSE(headless.tray.on_right_click);
}

}  // namespace
}  // namespace pelmora::app
