#include <cmath>

#include "app/main_window.h"
#include "playback/session.h"
#include "shell/shell_window.h"

namespace pelmora::app {
namespace {

using platform::WindowState;
using TabsTest = pelmora::testing::ShellTest;

int navigations_to(const platform::WebBrowser& pane, const std::string& url) {
  int count = 0;
  for (const platform::PaneRequest& request : pane.requests()) count += request.text == url;
  return count;
}

TEST_F(TabsTest, EachTabShowsItsOwnPaneAndDisablesOnlyItsButton) {
  BA1& ba1 = open_shell();
  struct Case {
    int tab;
    platform::PictureBox* pane;
  };
  const Case cases[] = {{8, &ba1.zzp},   {9, &ba1.zz},       {13, &ba1.ying},
                        {14, &ba1.ying}, {7, &ba1.yingyong}, {3, &ba1.xiaoshuo}};
  for (const Case& c : cases) {
    click_on(ba1, ba1.npc[c.tab]);
    EXPECT_EQ(ba1.chrome.cur_tab, c.tab);
    for (const Case& other : cases) {
      EXPECT_EQ(other.pane->visible(), other.pane == c.pane) << c.tab << " " << other.tab;
      EXPECT_EQ(ba1.npc[other.tab].enabled(), other.tab != c.tab) << c.tab << " " << other.tab;
    }
  }
  // Selecting the selected tab again ends in the same state.
  const auto cells = ba1.npc[3].cells();
  ba1.select_tab(3);
  EXPECT_EQ(ba1.npc[3].cells(), cells);
  EXPECT_FALSE(ba1.npc[3].enabled());
  EXPECT_TRUE(ba1.xiaoshuo.visible());
}

TEST_F(TabsTest, ThePlaybackTabShowsThePlayerOrTheWebPlaybackPage) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[9]);
  EXPECT_TRUE(ba1.qvod.visible());
  EXPECT_FALSE(ba1.Pic2.visible());
  EXPECT_EQ(ba1.Web2.last_request()->text, "about:blank");
  playback::Start page;
  page.item = playback::WebEpisode{playback::Episode::of("1-1-1-a")};
  page.web_page = "about:blank";
  ba1.session().start(std::move(page));
  click_on(ba1, ba1.npc[8]);  // the selected tab takes no press: away and back
  click_on(ba1, ba1.npc[9]);
  EXPECT_FALSE(ba1.qvod.visible());
  EXPECT_TRUE(ba1.Pic2.visible());
}

TEST_F(TabsTest, TheTvAndMusicPageIsLoadedOnlyWhenItChanges) {
  BA1& ba1 = open_shell();
  const std::string tv = service.base_url() + "tv";
  const std::string music = service.base_url() + "tv/mp3.htm";
  click_on(ba1, ba1.npc[13]);
  click_on(ba1, ba1.npc[8]);
  click_on(ba1, ba1.npc[13]);
  EXPECT_EQ(navigations_to(ba1.Web9, tv), 1);
  click_on(ba1, ba1.npc[14]);
  EXPECT_EQ(navigations_to(ba1.Web9, music), 1);
  EXPECT_EQ(ba1.chrome.tv_page, 2);
  click_on(ba1, ba1.npc[13]);
  EXPECT_EQ(navigations_to(ba1.Web9, tv), 2);
}

TEST_F(TabsTest, SubTabsShowTheirListAndNameTheLabelsAction) {
  BA1& ba1 = open_shell();
  EXPECT_TRUE(ba1.Pic3.visible());
  EXPECT_EQ(ba1.qk.caption(), "∴ 管理任务");
  click_on(ba1, ba1.npc[9]);  // the side panel with its sub-tabs is on the playback tab
  click_on(ba1, ba1.npc[16]);
  EXPECT_TRUE(ba1.Pic4.visible());
  EXPECT_FALSE(ba1.Pic3.visible());
  EXPECT_EQ(ba1.qk.caption(), "∴ 清空列表");
  EXPECT_EQ(shown_at(ba1.npc[16]), "ppt(9) 120,0 60x21");
  EXPECT_EQ(shown_at(ba1.npc[12]), "ppt(9) 60,21 60x21");
  click_on(ba1, ba1.npc[11]);
  EXPECT_TRUE(ba1.Pic5.visible());
  EXPECT_FALSE(ba1.Pic4.visible());
  EXPECT_EQ(ba1.qk.caption(), "∴ 管理任务");
  // Pressing the selected sub-tab changes nothing.
  ba1.Pic5.set_visible(false);
  click_on(ba1, ba1.npc[11]);
  EXPECT_FALSE(ba1.Pic5.visible());
}

TEST_F(TabsTest, CompactModeIsRefusedFromTvAndMusic) {
  BA1& ba1 = open_shell();
  for (int tab : {13, 14}) {
    click_on(ba1, ba1.npc[tab]);
    click_on(ba1, ba1.npc[15]);
    EXPECT_EQ(ba1.chrome.mini_mode, 0);
    EXPECT_EQ(ba1.chrome.cur_tab, tab);
    EXPECT_TRUE(ba1.npc[2].visible());
    EXPECT_EQ(ba1.width(), 13590);
  }
}

TEST_F(TabsTest, CompactModeFromTheLibrarySwitchesToPlaybackAndForcesTheWindowOnTop) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[1]);  // maximised
  click_on(ba1, ba1.npc[15]);
  EXPECT_EQ(ba1.chrome.mini_mode, 1);
  EXPECT_EQ(ba1.chrome.cur_tab, 9);
  EXPECT_TRUE(ba1.zz.visible());
  EXPECT_EQ(ba1.window_state(), WindowState::kNormal);
  EXPECT_TRUE(ba1.top_most());
  EXPECT_EQ(ba1.npc[4].tool_tip(), "置顶");  // the user's own choice is kept
  for (platform::Control* hidden :
       {static_cast<platform::Control*>(&ba1.bo_name),
        static_cast<platform::Control*>(&ba1.ni_name), static_cast<platform::Control*>(&ba1.soimg),
        static_cast<platform::Control*>(&ba1.soso), static_cast<platform::Control*>(&ba1.soc),
        static_cast<platform::Control*>(&ba1.l2), static_cast<platform::Control*>(&ba1.bo_foot)}) {
    EXPECT_FALSE(hidden->visible()) << hidden->name();
  }
  for (int i = 0; i <= 16; ++i) EXPECT_FALSE(ba1.npc[i].visible()) << i;
  EXPECT_TRUE(ba1.jbi.visible());
  EXPECT_TRUE(ba1.ni_bo1.visible());
}

TEST_F(TabsTest, LeavingCompactModeRestoresTheSavedSizeCentredAndDropsOnTopUnlessPinned) {
  set_setting("S_q", "h_w", "15000");
  set_setting("S_q", "h_h", "9000");
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[9]);
  click_on(ba1, ba1.npc[6]);  // side panel hidden before
  click_on(ba1, ba1.npc[15]);
  click_on(ba1, ba1.jbi);
  EXPECT_EQ(ba1.chrome.mini_mode, 0);
  EXPECT_FALSE(ba1.top_most());
  EXPECT_EQ(ba1.width(), 15000);
  EXPECT_EQ(ba1.height(), 9000);
  EXPECT_EQ(ba1.left(), (1920 * 15 - 15000) / 2);
  EXPECT_EQ(ba1.top(), (1080 * 15 - 9000) / 2);
  EXPECT_EQ(ba1.ni_name.caption(), "Pelmora 3.0");
  EXPECT_TRUE(ba1.ni_name.visible());
  EXPECT_FALSE(ba1.jbi.visible());
  EXPECT_FALSE(ba1.l2.visible());  // as the toggle says
  for (int i = 0; i <= 16; ++i) EXPECT_TRUE(ba1.npc[i].visible()) << i;
  EXPECT_TRUE(ba1.bo_foot.visible());
  EXPECT_EQ(ba1.L1.width(), ba1.zz.width());

  // A pinned window stays on top; a saved size of 0 is raised to the minimum.
  set_setting("S_q", "h_w", "0");
  click_on(ba1, ba1.npc[4]);
  click_on(ba1, ba1.npc[15]);
  click_on(ba1, ba1.jbi);
  EXPECT_TRUE(ba1.top_most());
  EXPECT_EQ(ba1.width(), 10950);
  EXPECT_EQ(ba1.left(), (1920 * 15 - 10950) / 2);
}

}  // namespace
}  // namespace pelmora::app

namespace pelmora::app {
namespace {

using TabsByPointer = pelmora::testing::ShellTest;

TEST_F(TabsByPointer, AHoveredTabThatIsSelectedByItsClickLeavesTheMouseToTheRestOfTheWindow) {
  BA1& ba1 = open_shell();
  // The pointer rests on the playback tab (its hover takes the capture), and it is clicked:
  // the tab disables itself while it holds the capture.
  hover(ba1, ba1.npc[9]);
  ASSERT_EQ(ba1.captured(), &ba1.npc[9]);
  click_on(ba1, ba1.npc[9]);
  ASSERT_EQ(ba1.chrome.cur_tab, 9);
  EXPECT_EQ(ba1.captured(), nullptr);
  // Every other tab, in any order, still takes its click.
  for (const int tab : {13, 8, 14, 3, 7, 9, 8}) {
    hover(ba1, ba1.npc[tab]);
    click_on(ba1, ba1.npc[tab]);
    EXPECT_EQ(ba1.chrome.cur_tab, tab);
  }
  // A press on a tab with a small movement is the tab's, never a move of the window.
  const platform::Rect tab = ba1.form_rect(ba1.npc[13]);
  ba1.pointer().drag(tab.left + 20, tab.top + 20, tab.left + 26, tab.top + 24);
  EXPECT_EQ(ba1.chrome.cur_tab, 13);
  EXPECT_TRUE(ba1.system_drags().empty());
  // The free surface of the tab band does drag.
  ba1.pointer().drag(500, 20, 520, 30);
  ASSERT_FALSE(ba1.system_drags().empty());
  EXPECT_EQ(ba1.system_drags().back().kind, platform::SystemDrag::Kind::kMove);
}

TEST_F(TabsByPointer, ACaptionButtonsActionTakesItsHoverLabelAway) {
  BA1& ba1 = open_shell();
  hover(ba1, ba1.npc[4]);
  ASSERT_TRUE(ba1.p1.visible());
  EXPECT_EQ(ba1.bo_tip.caption(), "置顶");
  click_on(ba1, ba1.npc[4]);
  EXPECT_TRUE(ba1.top_most());
  // The label showed the old tip ("置顶"); it goes with the action and comes back with the new
  // tip on the next move over the button.
  EXPECT_FALSE(ba1.p1.visible());
  hover(ba1, ba1.npc[4]);
  EXPECT_TRUE(ba1.p1.visible());
  EXPECT_EQ(ba1.bo_tip.caption(), "取消置顶");
  // The label is as wide as its text.
  EXPECT_EQ(ba1.bo_tip.width(), platform::estimate_text("取消置顶").width);
}

TEST_F(TabsByPointer, TheSeekBarAndItsThumbAnswerPressesAtTheirPlace) {
  BA1& ba1 = open_shell();
  player().address = "http://127.0.0.1/film.mp4";
  player().duration_s = 600;
  click_on(ba1, ba1.npc[9]);
  ASSERT_TRUE(ba1.shows(ba1.gunt));
  // The thumb lies above the downloaded share, so it can be seen and taken.
  EXPECT_GT(ba1.gunt1.z_order(), ba1.huan.z_order());
  EXPECT_GT(ba1.gunt1.width(), 0);
  const platform::Rect bar = ba1.form_rect(ba1.gunt);
  const int span = ba1.gunt.width() - ba1.gunt1.width();
  // A plain click a quarter along the bar seeks there.
  ba1.pointer().click(bar.left + span / 4, bar.top + 4);
  const auto nearest = [](double seconds) { return std::to_string(std::lround(seconds)); };
  EXPECT_EQ(player().calls.back(), "Position=" + nearest(600.0 * (span / 4) / span))
      << "thumb at " << ba1.gunt1.left();
  // Dragging the thumb to the middle and letting go seeks two seconds before that point.
  const platform::Rect thumb = ba1.form_rect(ba1.gunt1);
  ba1.pointer().drag(thumb.left + 1, bar.top + 4, bar.left + span / 2, bar.top + 4, 5);
  EXPECT_EQ(ba1.gunt1.left(), span / 2);
  EXPECT_EQ(player().calls.back(), "Position=" + nearest(600.0 * (span / 2) / span - 2));
  // A drag that outlasts ticks of the status monitor: the held thumb is not put back where the
  // player is, so the drop seeks where the user let go.
  player().position_s = 0;
  const platform::Rect held = ba1.form_rect(ba1.gunt1);
  ba1.pointer().press(held.left + 1, bar.top + 4);
  ba1.pointer().move(bar.left + span / 4, bar.top + 4, platform::MouseButton::kLeft);
  headless.backend.advance(3000);
  EXPECT_EQ(ba1.gunt1.left(), span / 4);
  ba1.pointer().release(bar.left + span / 4, bar.top + 4);
  EXPECT_EQ(player().calls.back(), "Position=" + nearest(600.0 * (span / 4) / span - 2));
  // Let go, the thumb follows the player again.
  player().position_s = 0;
  headless.backend.advance(1000);
  EXPECT_EQ(ba1.gunt1.left(), 0);
}

}  // namespace
}  // namespace pelmora::app
