// The real program as a native Wayland client of weston. Weston runs as a window of the test's
// own X screen (its X11 backend, drawing in software), so the pointer and the keys of the test go
// through the X server into weston and on to the program as a person's would, and the screen's
// pixels are weston's output. The program's window is wherever weston's shell puts it: the test
// finds it as the part of the output that differs from the empty desktop.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "demo_service.h"
#include "shell/layout.h"
#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "window/window_harness.h"
#include "window/window_manners.h"
#include "window/x_session.h"

namespace pelmora::window_test {
namespace {

namespace fs = std::filesystem;
namespace layout = shell::layout;
using pelmora::testing::TempFolder;

constexpr Rgb kEpisodeButton{0x37, 0x47, 0x4F};
// Weston's panel along the top of the output, with its clock.
constexpr int kPanel = 40;

class NativeWayland : public ::testing::Test {
 protected:
  void SetUp() override {
    media = pelmora::testing::window::demo_media();
    if (media.empty()) GTEST_SKIP() << "the demo clips cannot be made";
    if (!fs::exists("/usr/bin/weston") ||
        !fs::exists("/usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqwayland-generic.so")) {
      GTEST_SKIP() << "weston or Qt's Wayland platform is not installed";
    }
    if (!x.open()) GTEST_SKIP() << "no Xvfb with the XTest extension";
    service::ServiceOptions options;
    options.media_folder = media;
    demo = std::make_unique<service::DemoService>(options);
    ASSERT_TRUE(demo->start());
    fs::create_directories(folder.file("run"));
    fs::permissions(folder.file("run"), fs::perms::owner_all, fs::perm_options::replace);
    ASSERT_TRUE(weston.start({"weston", "--backend=x11-backend.so", "--use-pixman", "--fullscreen",
                              "--socket=pelmora-test", "--idle-time=0"},
                             {"DISPLAY=" + x.name(), "XDG_RUNTIME_DIR=" + folder.file("run")},
                             folder.file("weston.log")));
    ASSERT_TRUE(wait_until([&] { return fs::exists(folder.file("run/pelmora-test")); }, 20000));
    pause_ms(3000);  // the shell's desktop and panel
    desktop = x.grab(screen());
  }
  void TearDown() override {
    program.stop();
    weston.stop();
    pelmora::testing::end_processes_started_from(folder.path());
  }

  Box screen() const { return manners::whole_screen(x); }
  // The program's window: the part of the output below the panel that is not the desktop.
  Box window() {
    const Shot now = x.grab(screen());
    int left = x.screen_width(), top = x.screen_height(), right = -1, bottom = -1;
    for (int y = kPanel; y < x.screen_height(); y += 2) {
      for (int at = 0; at < x.screen_width(); at += 2) {
        if (now.at(at, y).near(desktop.at(at, y), 6)) continue;
        left = std::min(left, at);
        right = std::max(right, at);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
    if (right < 0) return {};
    return {left, top, right - left + 2, bottom - top + 2};
  }
  Box on_window(const Box& window, const layout::Rect& rect) const {
    return {window.x + rect.left, window.y + rect.top, rect.width, rect.height};
  }
  // The window's size and place stay within a pixel or two (the search steps by two).
  static bool same_place(const Box& a, const Box& b) {
    return std::abs(a.x - b.x) <= 2 && std::abs(a.y - b.y) <= 2 &&
           std::abs(a.width - b.width) <= 2 && std::abs(a.height - b.height) <= 2;
  }
  bool moves(const Box& box) {
    const Shot before = x.grab(box);
    pause_ms(500);
    return x.grab(box).differences(before) > 30;
  }

  TempFolder folder;
  std::string media;
  XSession x;
  std::unique_ptr<service::DemoService> demo;
  Child weston;
  Child program;
  Shot desktop;
};

// Start, a catalogue click that plays, full screen and back, the pin, compact mode and back.
TEST_F(NativeWayland, TheWindowOnWeston) {
  ASSERT_TRUE(
      program.start({PELMORA_PROGRAM, "--home", folder.file("home")},
                    {"WAYLAND_DISPLAY=pelmora-test", "XDG_RUNTIME_DIR=" + folder.file("run"),
                     "QT_QPA_PLATFORM=wayland", "PELMORA_SERVICE_URL=" + demo->base_url(),
                     "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu",
                     "DBUS_SESSION_BUS_ADDRESS=disabled:", "LANG=C.UTF-8",
                     "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"},
                    folder.file("program.log")));
  Box shown;
  ASSERT_TRUE(wait_until(
      [&] {
        shown = window();
        return shown.width >= manners::kLeastWidth - 4;
      },
      60000))
      << "no window on weston: " << shown;
  pause_ms(1000);
  shown = window();

  // A catalogue click that plays.
  const Box catalogue = on_window(shown, layout::pane(shown.width, shown.height));
  std::optional<std::pair<int, int>> episode;
  ASSERT_TRUE(wait_until(
      [&] {
        const Shot page = x.grab(catalogue);
        for (int y = catalogue.y; y < catalogue.y + catalogue.height - 8 && !episode; y += 2) {
          for (int at = catalogue.x; at < catalogue.x + catalogue.width - 8; at += 2) {
            if (page.at(at, y).near(kEpisodeButton, 3) &&
                page.at(at + 6, y + 6).near(kEpisodeButton, 3)) {
              episode = std::pair{at + 8, y + 8};
              break;
            }
          }
        }
        return episode.has_value();
      },
      60000))
      << "the catalogue did not show";
  x.click(episode->first, episode->second);
  const Box middle{shown.x + shown.width / 3, shown.y + shown.height / 2 - 60, 120, 120};
  ASSERT_TRUE(wait_until([&] { return moves(middle); }, 30000)) << "nothing plays";
  const Box playing = window();
  EXPECT_TRUE(same_place(playing, shown)) << playing << " was " << shown;

  // Full screen by a double click on the picture, and back by Escape: the window comes back at
  // its own size, within the screen.
  x.double_click(middle.center_x(), middle.center_y());
  const Box corner{2, x.screen_height() - 60, 60, 58};
  EXPECT_TRUE(wait_until([&] { return x.grab(corner).differences(desktop) > 1000; }, 5000))
      << "the picture did not cover the screen";
  x.key(XK_Escape);
  EXPECT_TRUE(wait_until([&] { return x.grab(corner).differences(desktop) < 50; }, 5000))
      << "full screen did not end";
  pause_ms(800);
  EXPECT_TRUE(same_place(window(), shown)) << window() << " was " << shown;

  // The pin: no "keep above" here, so the window stays where it is and is never made anew.
  const Box pin = on_window(shown, layout::caption_row(shown.width).pin);
  const Shot unpinned = x.grab(pin);
  x.click(pin.center_x(), pin.center_y());
  x.move(pin.center_x(), pin.y + 150);
  EXPECT_TRUE(wait_until([&] { return x.grab(pin).differences(unpinned) > 10; }, 3000));
  pause_ms(800);
  EXPECT_TRUE(same_place(window(), shown)) << "the pin moved the window: " << window();
  x.click(pin.center_x(), pin.center_y());
  x.move(pin.center_x(), pin.y + 150);

  // Compact mode and back by its close label.
  const Box compact = on_window(shown, layout::caption_row(shown.width).compact);
  x.click(compact.center_x(), compact.center_y());
  Box small;
  EXPECT_TRUE(wait_until(
      [&] {
        small = window();
        return small.width > 0 && small.width < 450;
      },
      5000))
      << window();
  pause_ms(800);
  small = window();
  x.click(small.x + small.width - 19, small.y + 9);  // the "x" label
  EXPECT_TRUE(wait_until([&] { return window().width > 700; }, 5000)) << window();
  EXPECT_TRUE(moves(on_window(window(), {window().width / 3, window().height / 2 - 60, 120, 120})))
      << "playback stopped";
  EXPECT_TRUE(program.running());
}

}  // namespace
}  // namespace pelmora::window_test
