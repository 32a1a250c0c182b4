#include <gtest/gtest.h>

#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/headless/headless_backend.h"
#include "platform/web_browser.h"

namespace pelmora::platform {
namespace {

// A small form in the shape the program's windows take: controls as members, an array with a
// gap in its indices, a timer and a browser pane.
class SampleForm : public Form {
 public:
  SampleForm() : Form("sample") {
    pic.set_container(this);
    label.set_container(&pic);
    on_load = [this] { ++loads; };
  }
  PictureBox pic{this, "pic"};
  PictureBox strip{this, "ppt", 3};
  Label label{this, "zhun"};
  ControlArray<CheckBox> checks{this, "Check1", {0, 1, 2, 3, 5}};
  Timer tick{this, "Timer1", 1000, true};
  Timer once{this, "Timer3", 10, true};
  WebBrowser pane{this, "Web1"};
  MenuItem menu{this, "r_m"};
  MenuItem quit_item{this, "quit"};
  int loads = 0;
};

TEST(ControlModel, ControlsRegisterWithTheirFormAndArraysKeepTheirIndices) {
  SampleForm form;
  EXPECT_EQ(form.find("zhun"), &form.label);
  EXPECT_EQ(form.find("Check1", 5), &form.checks[5]);
  EXPECT_FALSE(form.checks.contains(4));
  EXPECT_EQ(form.checks.upper_bound(), 5);
  EXPECT_EQ(form.label.container(), &form.pic);
  form.load();
  form.load();
  EXPECT_EQ(form.loads, 1);
}

TEST(ControlModel, OnlyOneControlHoldsTheMouseCapture) {
  SampleForm form;
  form.pic.set_capture();
  form.label.set_capture();
  EXPECT_FALSE(form.pic.has_capture());
  EXPECT_EQ(form.captured(), &form.label);
  form.label.release_capture();
  EXPECT_EQ(form.captured(), nullptr);
}

TEST(ControlModel, DisabledControlsRaiseNoEvents) {
  SampleForm form;
  int clicks = 0;
  form.pic.on_click = [&] { ++clicks; };
  form.pic.raise_click();
  form.pic.set_enabled(false);
  form.pic.raise_click();
  EXPECT_EQ(clicks, 1);
}

TEST(ControlModel, PictureSurfaceRecordsWhatWasDrawnWhereAndForgetsWhatIsCovered) {
  SampleForm form;
  form.pic.move(0, 0, 100, 30);
  form.pic.draw_cell(form.strip, {0, 0, 25, 25}, {0, 0, 25, 25});
  form.pic.draw_cell(form.strip, {25, 0, 25, 25}, {25, 0, 25, 25});
  form.pic.draw_cell(form.strip, {0, 0, 1, 31}, {0, 0, 100, 31});  // stretched over both
  ASSERT_EQ(form.pic.cells().size(), 1u);
  EXPECT_EQ(form.pic.cells()[0], (CellCopy{"ppt(3)", {0, 0, 1, 31}, {0, 0, 100, 31}, true}));
  form.pic.draw_cell(form.strip, {50, 0, 25, 25}, {10, 0, 25, 25});
  ASSERT_NE(form.pic.cell_at(12, 5), nullptr);
  EXPECT_EQ(form.pic.cell_at(12, 5)->from.left, 50);
  EXPECT_FALSE(form.pic.cell_at(12, 5)->stretched);
  EXPECT_EQ(form.pic.cell_at(90, 5)->from.width, 1);
  EXPECT_EQ(form.pic.cell_at(200, 5), nullptr);
}

TEST(ControlModel, BrowserPaneAsksBeforeEveryNavigationAndMayBeReentered) {
  SampleForm form;
  std::vector<std::string> seen;
  form.pane.on_before_navigate2 = [&](const std::string& url, bool& cancel) {
    seen.push_back(url);
    if (url.starts_with("razavov://")) {
      cancel = true;
      form.pane.navigate("eeqvod://play");  // re-enters before the outer handler returns
    } else if (url.starts_with("eeqvod://")) {
      cancel = true;
    }
  };
  form.pane.navigate("razavov://123-2-5-%u4E2D");
  EXPECT_EQ(seen, (std::vector<std::string>{"razavov://123-2-5-%u4E2D", "eeqvod://play"}));
  EXPECT_TRUE(form.pane.requests().empty());
  EXPECT_EQ(form.pane.location_url(), "");

  form.pane.navigate("http://127.0.0.1/x");
  ASSERT_NE(form.pane.last_request(), nullptr);
  EXPECT_EQ(*form.pane.last_request(),
            (PaneRequest{PaneRequest::Kind::kNavigate, "http://127.0.0.1/x"}));
  EXPECT_EQ(form.pane.location_url(), "http://127.0.0.1/x");
  // A link clicked in the page goes through the same handler.
  EXPECT_TRUE(form.pane.raise_before_navigate2("eeqvod://x"));
  EXPECT_FALSE(form.pane.raise_before_navigate2("http://127.0.0.1/y"));
  EXPECT_EQ(form.pane.location_url(), "http://127.0.0.1/y");
}

TEST(ControlModel, CheckBoxValueChangesRaiseClickOnce) {
  SampleForm form;
  int clicks = 0;
  form.checks[1].on_click = [&] { ++clicks; };
  form.checks[1].set_value(1);
  form.checks[1].set_value(1);
  EXPECT_EQ(clicks, 1);
}

TEST(ControlModel, UnloadCanBeCancelledAndStopsTimersWhenItHappens) {
  SampleForm form;
  form.show();
  bool refuse = true;
  form.on_query_unload = [&] { return refuse; };
  EXPECT_FALSE(form.unload());
  EXPECT_TRUE(form.loaded());
  refuse = false;
  EXPECT_TRUE(form.unload());
  EXPECT_FALSE(form.shown());
  EXPECT_FALSE(form.tick.timer_enabled());
}

TEST(HeadlessBackend, TimersTickInTimeOrderAsTheClockAdvances) {
  headless::HeadlessBackend backend;
  SampleForm form;
  std::vector<std::string> order;
  form.tick.on_timer = [&] { order.push_back("1@" + std::to_string(backend.now_ms())); };
  form.once.on_timer = [&] {
    order.push_back("3@" + std::to_string(backend.now_ms()));
    form.once.set_timer_enabled(false);  // runs once
  };
  backend.attach(form);
  backend.advance(2500);
  EXPECT_EQ(order, (std::vector<std::string>{"3@10", "1@1000", "1@2000"}));
  EXPECT_EQ(backend.now_ms(), 2500);
}

TEST(HeadlessBackend, ChangingATimerStartsANewPeriod) {
  headless::HeadlessBackend backend;
  SampleForm form;
  form.once.set_timer_enabled(false);
  std::vector<std::int64_t> ticks;
  form.tick.on_timer = [&] { ticks.push_back(backend.now_ms()); };
  backend.attach(form);
  backend.advance(600);
  form.tick.set_interval(1000);  // restarts the count at 600
  backend.advance(1500);
  form.tick.set_timer_enabled(false);
  backend.advance(5000);
  form.tick.set_timer_enabled(true);  // at 7100
  backend.advance(1000);
  EXPECT_EQ(ticks, (std::vector<std::int64_t>{1600, 8100}));
}

TEST(HeadlessBackend, AHandlerThatRestartsItsOwnTimerIsNotTickedTwice) {
  headless::HeadlessBackend backend;
  SampleForm form;
  form.once.set_timer_enabled(false);
  int ticks = 0;
  form.tick.on_timer = [&] {
    ++ticks;
    form.tick.set_timer_enabled(false);
    form.tick.set_timer_enabled(true);
  };
  backend.attach(form);
  backend.advance(3000);
  EXPECT_EQ(ticks, 3);
}

TEST(HeadlessBackend, PopupMenusRunTheChosenItem) {
  headless::HeadlessBackend backend;
  SampleForm form;
  form.quit_item.set_caption("退出");
  form.menu.add_item(form.quit_item);
  int quits = 0;
  form.quit_item.on_click = [&] { ++quits; };
  backend.attach(form);
  form.popup_menu(form.menu);  // closed without a choice
  backend.choose_next_menu_item("退出");
  form.popup_menu(form.menu);
  EXPECT_EQ(quits, 1);
  EXPECT_EQ(backend.popups(), (std::vector<std::string>{"r_m", "r_m"}));
}

}  // namespace
}  // namespace pelmora::platform
