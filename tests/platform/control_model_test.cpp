#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

namespace pelmora::platform {
namespace {

// A window in the shape pointer routing meets: a container with two overlapping children, a
// button that disables itself when clicked (as a selected tab does), and the form's own surface.
class PointerForm : public Form {
 public:
  PointerForm() : Form("pointer") {
    move(0, 0, 400 * 15, 300 * 15);
    box.move(10, 10, 100, 100);
    lower.set_container(&box);
    upper.set_container(&box);
    lower.move(0, 0, 50, 50);
    upper.move(40, 40, 50, 50);
    // A child larger than its container is cut off at the container's edge, as on screen.
    wide.set_container(&box);
    wide.move(0, 90, 300, 5);
    tab.move(200, 10, 58, 69);
    const auto record = [this](const std::string& what) {
      return [this, what](const MouseEvent& e) {
        log.push_back(what + " " + std::to_string(e.x) + "," + std::to_string(e.y));
      };
    };
    for (PictureBox* control : {&box, &lower, &upper, &wide}) {
      control->on_mouse_down = record(control->name() + " down");
      control->on_mouse_up = record(control->name() + " up");
      control->on_click = [this, control] { log.push_back(control->name() + " click"); };
    }
    on_mouse_down = record("form down");
    on_mouse_move = record("form move");
    // The tab takes the capture while the pointer is over it and lets go when it leaves; a
    // click selects it, which disables it.
    tab.on_mouse_move = [this](const MouseEvent& e) {
      const bool inside = e.x >= 0 && e.y >= 0 && e.x <= tab.width() && e.y <= tab.height();
      if (inside) {
        tab.set_capture();
      } else {
        tab.release_capture();
      }
    };
    tab.on_click = [this] {
      log.push_back("tab click");
      tab.set_enabled(false);
    };
  }
  PictureBox box{this, "box"};
  PictureBox lower{this, "lower"};
  PictureBox upper{this, "upper"};
  PictureBox wide{this, "wide"};
  PictureBox tab{this, "tab"};
  std::vector<std::string> log;
};

TEST(PointerRouting, APressReachesTheTopmostVisibleControlInItsOwnPixels) {
  PointerForm form;
  form.pointer().click(55, 55);  // lower and upper overlap here; upper was made later
  EXPECT_EQ(form.log, (std::vector<std::string>{"upper down 5,5", "upper up 5,5", "upper click"}));
  form.log.clear();
  form.upper.set_visible(false);
  form.pointer().click(55, 55);
  EXPECT_EQ(form.log.front(), "lower down 45,45");
  form.log.clear();
  form.lower.bring_to_front();
  form.upper.set_visible(true);
  form.pointer().click(55, 55);
  EXPECT_EQ(form.log.front(), "lower down 45,45");
  // Outside its container a child is not there: the press reaches the form's surface.
  form.log.clear();
  form.pointer().press(150, 102);
  form.pointer().release(150, 102);
  EXPECT_EQ(form.log.front(), "form down 150,102");
  // A hidden container hides what it holds.
  form.log.clear();
  form.box.set_visible(false);
  form.pointer().press(55, 55);
  EXPECT_EQ(form.log.front(), "form down 55,55");
}

TEST(PointerRouting, ThePressedControlKeepsTheMouseUntilReleaseAndOnlyAReleaseInsideClicks) {
  PointerForm form;
  form.pointer().press(20, 20);
  form.pointer().move(300, 200, MouseButton::kLeft);
  form.pointer().release(300, 200);
  EXPECT_EQ(form.log, (std::vector<std::string>{"lower down 10,10", "lower up 290,190"}));
  // The form's own surface never sees a move that began as a press on a control.
  form.log.clear();
  form.pointer().drag(20, 20, 25, 24);
  EXPECT_EQ(std::count_if(form.log.begin(), form.log.end(),
                          [](const std::string& line) { return line.starts_with("form"); }),
            0);
  EXPECT_EQ(form.log.back(), "lower click");
}

TEST(PointerRouting, APressWhoseReleaseTheWindowSystemKeptEndsThere) {
  PointerForm form;
  // A press on the form's surface hands a move to the window system, which keeps the release.
  form.on_mouse_down = [&form](const MouseEvent&) { form.start_system_move(); };
  form.pointer().press(300, 200);
  form.end_system_drag();
  form.pointer().click(20, 20);
  EXPECT_EQ(form.log.back(), "lower click");
  // A release lost without a drag's end: the next press of the same button starts afresh.
  form.log.clear();
  form.pointer().press(20, 20);
  form.pointer().click(55, 55);
  EXPECT_EQ(form.log, (std::vector<std::string>{"lower down 10,10", "upper down 5,5",
                                                "upper up 5,5", "upper click"}));
}

TEST(PointerRouting, ADisabledControlTakesNothingAndLetsGoOfTheCapture) {
  PointerForm form;
  // Hovering the tab takes the capture; its click disables it while it holds the capture.
  form.pointer().move(220, 30);
  ASSERT_EQ(form.captured(), &form.tab);
  form.pointer().click(220, 30);
  EXPECT_FALSE(form.tab.enabled());
  EXPECT_EQ(form.captured(), nullptr);
  // The rest of the window still takes the mouse; the disabled tab takes nothing and passes
  // nothing on to the form.
  form.log.clear();
  form.pointer().click(20, 20);
  EXPECT_EQ(form.log.back(), "lower click");
  form.log.clear();
  form.pointer().click(220, 30);
  EXPECT_TRUE(form.log.empty());
  EXPECT_EQ(form.pointer().target_at(220, 30), nullptr);
}

TEST(PointerRouting, AHiddenOrHeldControlLetsGoOfTheCapture) {
  PointerForm form;
  form.lower.set_capture();
  EXPECT_EQ(form.pointer().target_at(300, 250), &form.lower);
  form.lower.set_visible(false);
  EXPECT_EQ(form.captured(), nullptr);
  form.upper.set_capture();
  form.hide();
  EXPECT_EQ(form.captured(), nullptr);
}

TEST(PointerRouting, EventsArrivingInsideAHandlerWaitForItToReturn) {
  PointerForm form;
  // A press handler that lets pending events run (DoEvents) while the release is already
  // waiting: the release is handled after the press, never inside it.
  form.lower.on_mouse_down = [&](const MouseEvent&) {
    form.log.push_back("down begins");
    form.pointer().release(20, 20);
    form.log.push_back("down ends");
  };
  form.pointer().press(20, 20);
  EXPECT_EQ(form.log, (std::vector<std::string>{"down begins", "down ends", "lower up 10,10",
                                                "lower click"}));
}

}  // namespace
}  // namespace pelmora::platform
