#include "promo/promotion_windows.h"

#include <vector>

#include "app/main_window.h"
#include "settings_dialog/settings_dialog.h"
#include "support/main_window_fixture.h"
#include "tray/tips_form.h"

namespace pelmora::promo {
namespace {

using app::BA1;
using platform::Rect;

class PromotionWindows : public pelmora::testing::MainWindowTest {
 protected:
  // The window as the update check leaves it when the file asks for the floating window.
  BA1& open_with_floating_window_due() {
    service.on("/lib/wen.txt", [](const std::string&, const std::string&) {
      return pelmora::testing::LoopbackServer::Reply{200, "0====1====0====3.0\r\n"};
    });
    BA1& ba1 = open_window();
    ba1.show();
    headless.backend.advance(6000);
    settle();
    return ba1;
  }
};

TEST_F(PromotionWindows, TheFloatingWindowComesFiveSecondsAfterTheUpdateFileOnce) {
  BA1& ba1 = open_with_floating_window_due();
  adsb& floating = ba1.float_form();
  headless.backend.advance(4990);
  EXPECT_FALSE(floating.shown());
  headless.backend.advance(10);
  EXPECT_TRUE(floating.shown());
  EXPECT_FALSE(ba1.Timer8.timer_enabled());
  EXPECT_TRUE(floating.top_most());
  EXPECT_EQ(floating.Web1.last_request()->text, service.base_url() + "js/ads/fudong.html");
  // Bottom-right of a 1920 x 1080 screen, clear of the panel.
  EXPECT_EQ(floating.left(), 1920 * 15 - 4020 - 80);
  EXPECT_EQ(floating.top(), 1080 * 15 - 3000 - 450);
  EXPECT_EQ(floating.Web1.rect(), (Rect{-2, -2, 272, 204}));
  floating.Picture1.raise_click();
  headless.backend.advance(60000);
  EXPECT_FALSE(floating.shown());
}

TEST_F(PromotionWindows, TheFloatingWindowSlidesUpFiftyPixelsEveryTenMilliseconds) {
  BA1& ba1 = open_window();
  adsb& floating = ba1.float_form();
  floating.show();
  headless.backend.advance(100);
  const std::vector<Rect> expected = {
      {0, 199, 268, 1}, {0, 149, 268, 51}, {0, 99, 268, 101}, {0, 49, 268, 151}, {0, 0, 268, 200}};
  EXPECT_EQ(floating.regions(), expected);
  EXPECT_FALSE(floating.Timer1.timer_enabled());
  EXPECT_LT(floating.edge(), 1);
}

TEST_F(PromotionWindows, ClosingWhileSlidingStopsAtOnce) {
  BA1& ba1 = open_window();
  adsb& floating = ba1.float_form();
  floating.show();
  headless.backend.advance(20);
  const std::size_t applied = floating.regions().size();
  floating.Picture1.raise_click();
  headless.backend.advance(100);
  EXPECT_FALSE(floating.loaded());
  EXPECT_EQ(floating.regions().size(), applied);
}

TEST_F(PromotionWindows, PagesAreSilentAndALinkOpenedInANewWindowClosesThePromotion) {
  BA1& ba1 = open_window();
  adsb& floating = ba1.float_form();
  floating.show();
  floating.Web1.raise_download_begin();
  EXPECT_TRUE(floating.Web1.silent());
  EXPECT_FALSE(floating.Web1.raise_new_window2("http://example.invalid/offer"));
  EXPECT_FALSE(floating.loaded());

  ba4& recommendation = ba1.recommend_form();
  recommendation.show();
  EXPECT_FALSE(recommendation.Web1.raise_new_window2("http://example.invalid/offer"));
  EXPECT_FALSE(recommendation.loaded());
}

TEST_F(PromotionWindows, ASmallScreenLeavesTheFloatingWindowPartlyAboveTheTop) {
  headless.screen.whole = {0, 0, 200, 150};
  BA1& ba1 = open_window();
  adsb& floating = ba1.float_form();
  floating.show();
  EXPECT_EQ(floating.top(), 150 * 15 - 3000 - 450);
  EXPECT_LT(floating.top(), 0);
}

TEST_F(PromotionWindows, TheExitShowsTheRecommendationWhenAskedAndItClosesAfterEightSeconds) {
  BA1& ba1 = open_window();
  ba1.exit_recommendation = true;
  ba1.ttt_v();
  ba4& recommendation = ba1.recommend_form();
  EXPECT_TRUE(recommendation.shown());
  EXPECT_EQ(recommendation.caption(), "推荐");
  EXPECT_EQ(recommendation.Web1.last_request()->text, service.base_url() + "js/ads/tui.html");
  EXPECT_EQ(recommendation.left(), (1920 * 15 - 5250) / 2);
  EXPECT_EQ(recommendation.top(), (1080 * 15 - 3750) / 2);
  headless.backend.advance(7990);
  EXPECT_TRUE(recommendation.shown());
  headless.backend.advance(10);
  EXPECT_FALSE(recommendation.loaded());
}

TEST_F(PromotionWindows, TheExitClosesTheOtherWindowsAndWithoutTheFlagShowsNoRecommendation) {
  BA1& ba1 = open_with_floating_window_due();
  headless.backend.advance(5000);
  ASSERT_TRUE(ba1.float_form().shown());
  ba1.settings_form().show();
  ba1.exit_recommendation = false;
  ba1.ttt_v();
  EXPECT_FALSE(ba1.settings_form().loaded());
  EXPECT_FALSE(ba1.float_form().loaded());
  EXPECT_FALSE(ba1.tip_form().loaded());
  EXPECT_FALSE(ba1.recommend_form().shown());
}

}  // namespace
}  // namespace pelmora::promo
