#include "platform/backend.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using Panes = pelmora::testing::MainWindowTest;

TEST_F(Panes, TheCatalogueAppearsWhenItHasLoaded) {
  BA1& ba1 = open_window();
  EXPECT_TRUE(ba1.wait.visible());
  EXPECT_FALSE(ba1.Pic1.visible());
  ba1.Web1.raise_download_begin();
  EXPECT_TRUE(ba1.Web1.silent());
  ba1.Web1.raise_download_complete();
  EXPECT_TRUE(ba1.Pic1.visible());
  EXPECT_FALSE(ba1.wait.visible());
}

TEST_F(Panes, AnUnreachableServiceShowsTheErrorPanelUntilTheRetryClick) {
  BA1& ba1 = open_window();
  ba1.Web1.raise_download_complete();
  // A failing outside address changes nothing.
  ba1.Web1.raise_navigate_error("http://127.0.0.2/elsewhere", 404);
  EXPECT_TRUE(ba1.Pic1.visible());
  EXPECT_EQ(ba1.chrome.home_error, 0);

  ba1.Web1.raise_navigate_error(service.base_url() + "search.asp?searchword=x", -105);
  EXPECT_FALSE(ba1.Pic1.visible());
  EXPECT_TRUE(ba1.wait.visible());
  // The four hints, then the address that failed and where another is set.
  EXPECT_EQ(ba1.webe.caption(),
            "Error！出错了\r\n\r\n1.请检查你的网络连接\r\n2.软件网络出现了故障\r\n"
            "3.请点此尝试重新连接\r\n4.请尝试重新启动软件\r\n\r\n无法连接服务：" +
                service.base_url() + "\r\n另设服务地址：" + folder.file("pelmora.ini") +
                "\r\n中 [pelmora] 段的 service_url，\r\n或环境变量 PELMORA_SERVICE_URL\r\n");
  // All of it shows, inside the panel.
  EXPECT_GE(ba1.webe.height(), 11 * platform::estimate_text("x").height);
  EXPECT_LE(ba1.webe.left() + ba1.webe.width(), ba1.wait.width());
  EXPECT_EQ(ba1.chrome.home_error, 1);

  // Later pages load behind the panel; only the retry click takes it away.
  ba1.Web1.raise_download_complete();
  EXPECT_TRUE(ba1.wait.visible());
  ba1.webe.raise_click();
  EXPECT_EQ(ba1.Web1.last_request()->text, service.base_url());
  EXPECT_TRUE(ba1.Pic1.visible());
  EXPECT_FALSE(ba1.wait.visible());
  EXPECT_EQ(ba1.chrome.home_error, 1);
}

TEST_F(Panes, AFailedAdvertIsReplacedByTheFixedPicture) {
  BA1& ba1 = open_window();
  ba1.Web7.raise_navigate_error("http://anything/", 500);
  EXPECT_FALSE(ba1.ad_huan.visible());
  EXPECT_TRUE(ba1.adp.visible());
  EXPECT_EQ(ba1.chrome.ad_error, 1);
}

TEST_F(Panes, HookedPanesNeverShowTheBrowsersOwnMenu) {
  BA1& ba1 = open_window();
  for (platform::WebBrowser* pane : {&ba1.Web1, &ba1.Web2, &ba1.Web3, &ba1.Web4, &ba1.Web9}) {
    pane->raise_download_complete();
    EXPECT_FALSE(pane->raise_context_menu("")) << pane->name();
  }
  // The statistics pane is never hooked.
  EXPECT_TRUE(ba1.Web6.raise_context_menu(""));
}

TEST_F(Panes, TheCataloguesOwnMenuCopiesAndPastes) {
  BA1& ba1 = open_window();
  ba1.Web1.raise_download_complete();
  headless.backend.choose_next_menu_item("复制");
  EXPECT_FALSE(ba1.Web1.raise_context_menu("razavov://1-1-1-x"));
  EXPECT_EQ(headless.backend.popups().back(), "myMenu");
  EXPECT_EQ(ba1.Web1.last_request()->kind, platform::PaneRequest::Kind::kCopy);
  headless.backend.choose_next_menu_item("粘贴");
  ba1.Web1.raise_context_menu("");
  EXPECT_EQ(ba1.Web1.last_request()->kind, platform::PaneRequest::Kind::kPaste);
}

TEST_F(Panes, SearchSendsTheWordAsTypedAndShowsTheFilmLibrary) {
  BA1& ba1 = open_window();
  EXPECT_EQ(ba1.soso.text(), "请输入电影或演员名称");
  ba1.soso.raise_click();
  EXPECT_EQ(ba1.soso.text(), "");
  ba1.soso.set_text(" 山海 & more#1 ");
  ba1.soso_KeyDown(13);
  EXPECT_EQ(ba1.Web1.last_request()->text,
            service.base_url() + "search.asp?searchword=%20%E5%B1%B1%E6%B5%B7%20%26%20more%231%20");
  EXPECT_EQ(ba1.soso.text(), " 山海 & more#1 ");  // the field keeps its text
}

TEST_F(Panes, BlankWordsAndThePromptAreNeverSearched) {
  BA1& ba1 = open_window();
  const auto requests = ba1.Web1.requests().size();
  for (const char* word : {"   ", "", "找请输入的"}) {
    ba1.soso.set_text(word);
    ba1.soc.raise_click();
    EXPECT_EQ(ba1.soso.text(), "请输入电影或演员名称") << word;
  }
  EXPECT_EQ(ba1.Web1.requests().size(), requests);
  ba1.soso.set_text("  ");
  ba1.soso.on_lost_focus();
  EXPECT_EQ(ba1.soso.text(), "请输入电影或演员名称");
  ba1.soso.set_text("");
  ba1.raise_click();
  EXPECT_EQ(ba1.soso.text(), "请输入电影或演员名称");
}

}  // namespace
}  // namespace pelmora::app
