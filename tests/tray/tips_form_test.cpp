#include "tray/tips_form.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "settings_dialog/settings_dialog.h"
#include "support/main_window_fixture.h"

namespace pelmora::tray {
namespace {

using app::BA1;
using platform::PaneRequest;

class TipsForm : public pelmora::testing::MainWindowTest {
 protected:
  BA1& open() {
    BA1& ba1 = open_window();
    ba1.show();
    return ba1;
  }
  // Pops up `menu` on the main window and chooses the item captioned `caption`.
  void choose(platform::MenuItem& menu, const std::string& caption) {
    headless.backend.choose_next_menu_item(caption);
    window->popup_menu(menu);
  }
};

TEST_F(TipsForm, CatalogueMenuMovesThePaneAndGoesHome) {
  BA1& ba1 = open();
  ba1.Web1.clear_requests();
  for (const char* item : {"后退", "前进", "刷新", "主页"}) choose(ba1.tip_form().myMenu, item);
  std::vector<PaneRequest::Kind> kinds;
  for (const PaneRequest& request : ba1.Web1.requests()) kinds.push_back(request.kind);
  EXPECT_EQ(kinds, (std::vector{PaneRequest::Kind::kGoBack, PaneRequest::Kind::kGoForward,
                                PaneRequest::Kind::kRefresh, PaneRequest::Kind::kNavigate}));
  EXPECT_EQ(ba1.Web1.requests().back().text, service.base_url());
  choose(ba1.tip_form().r_m, "官方主页");
  EXPECT_EQ(headless.launcher.opened_addresses, std::vector{config.maker_home_page});
}

TEST_F(TipsForm, ShutdownItemsCheckOneAtATimeAndArmTheTransportButton) {
  BA1& ba1 = open();
  tip& menus = ba1.tip_form();
  EXPECT_TRUE(menus.quxiao.checked());
  choose(menus.guan, "开启播放完自动关机");
  EXPECT_TRUE(menus.kaiqi.checked());
  EXPECT_FALSE(menus.quxiao.checked());
  EXPECT_TRUE(ba1.shutdown_armed());
  choose(menus.guan, "取消播放完自动关机");
  EXPECT_FALSE(menus.kaiqi.checked());
  EXPECT_TRUE(menus.quxiao.checked());
  EXPECT_FALSE(ba1.shutdown_armed());
}

TEST_F(TipsForm, QuitItemRunsTheExitRoutine) {
  BA1& ba1 = open();
  ba1.tray_add();
  choose(ba1.tip_form().r_m, "退出软件");
  EXPECT_FALSE(ba1.loaded());
  EXPECT_FALSE(headless.tray.shown());
}

TEST_F(TipsForm, SettingsAndAboutOpenTheDialogOnTheirPagesBringingTheWindowBack) {
  BA1& ba1 = open();
  ba1.hide();
  choose(ba1.tip_form().r_m, "软件设置");
  settings_dialog::BA3& dialog = ba1.settings_form();
  EXPECT_TRUE(ba1.shown());
  EXPECT_TRUE(dialog.shown());
  EXPECT_TRUE(dialog.p1[1].visible());
  EXPECT_EQ(dialog.bb.caption(), "软件设置");
  ba1.set_window_state(platform::WindowState::kMinimized);
  choose(ba1.tip_form().r_m, "关于我们");
  EXPECT_EQ(ba1.window_state(), platform::WindowState::kNormal);
  EXPECT_TRUE(dialog.p1[0].visible());
  EXPECT_FALSE(dialog.p1[1].visible());
}

TEST_F(TipsForm, APinnedWindowIsUnpinnedWhileTheDialogOpensAndPinnedAgain) {
  BA1& ba1 = open();
  lay_out(ba1);
  click_on(ba1, ba1.npc[4]);  // pin
  ASSERT_TRUE(ba1.top_most());
  bool pinned_while_opening = true;
  settings_dialog::BA3& dialog = ba1.settings_form();
  dialog.on_load = [&, load = dialog.on_load] {
    pinned_while_opening = ba1.top_most();
    load();
  };
  choose(ba1.tip_form().r_m, "软件设置");
  EXPECT_FALSE(pinned_while_opening);
  EXPECT_TRUE(ba1.top_most());
  EXPECT_EQ(ba1.npc[4].tool_tip(), "取消置顶");
}

TEST_F(TipsForm, NextPagesRoundFivePagesAndCloseStartsOverAtTheFirst) {
  BA1& ba1 = open();
  choose(ba1.tip_form().r_m, "帮助提示");
  tip& panel = ba1.tip_form();
  EXPECT_TRUE(panel.shown());
  EXPECT_EQ(panel.La[22].caption(), "1");
  for (const int page : {2, 3, 4, 5, 1, 2}) {
    panel.cmdnext.raise_click();
    EXPECT_EQ(panel.La[22].caption(), std::to_string(page));
    for (int i = 0; i < tip::kPages; ++i) EXPECT_EQ(panel.Pi[i].visible(), i == page - 1) << page;
  }
  panel.cmdclose.raise_click();
  EXPECT_FALSE(panel.loaded());
  choose(ba1.tip_form().r_m, "帮助提示");
  EXPECT_EQ(panel.La[22].caption(), "1");
  EXPECT_TRUE(panel.Pi[0].visible());
  EXPECT_FALSE(panel.Pi[1].visible());
}

}  // namespace
}  // namespace pelmora::tray
