#include "app/main_window.h"

#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using MainWindowLoad = pelmora::testing::MainWindowTest;
using platform::PaneRequest;

TEST_F(MainWindowLoad, PointsEveryPaneAtItsFirstPage) {
  BA1& ba1 = open_window();
  const std::string base = service.base_url();
  EXPECT_EQ(ba1.Web1.last_request()->text, base);
  EXPECT_EQ(ba1.Web3.last_request()->text, folder.file("c.htm"));
  EXPECT_EQ(ba1.Web4.last_request()->text, folder.file("f.htm"));
  EXPECT_EQ(ba1.Web5.last_request()->kind, PaneRequest::Kind::kWriteDocument);
  EXPECT_NE(ba1.Web5.last_request()->text.find("没有正在播放的网络影片"), std::string::npos);
  EXPECT_EQ(ba1.Web6.last_request()->text, base + "tj/tj.asp?id=" + setting("User", "Name"));
  EXPECT_EQ(ba1.Web7.last_request()->text, base + "js/ads/qvodad.html");
  EXPECT_EQ(ba1.Web10.last_request()->text, base + "apps/");
  EXPECT_EQ(ba1.Web11.last_request()->text, base + "novels/");
  EXPECT_EQ(player().ad_page, base + "js/ads/qvodad.html");
  EXPECT_TRUE(ba1.key_preview());
}

TEST_F(MainWindowLoad, OpensAtTheSavedSizeOnlyWhenAskedTo) {
  set_setting("S_q", "h_w", "15000");
  set_setting("S_q", "h_h", "9000");
  set_setting("S_q", "s_size", "1");
  EXPECT_EQ(open_window().width(), 13590);
  set_setting("S_q", "s_size", "2");
  BA1& ba1 = open_window();
  EXPECT_EQ(ba1.width(), 15000);
  EXPECT_EQ(ba1.height(), 9000);
}

}  // namespace
}  // namespace pelmora::app
