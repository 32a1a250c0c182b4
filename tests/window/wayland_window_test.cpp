// The real program as a native Wayland client of weston. Weston runs in a window of the test's
// own X screen (its X11 backend, drawing in software): the test's pointer and keys reach the
// program through weston as a person's would, and the screen shows weston's output. The program's
// window is wherever weston puts it: the part of the output that differs from the empty desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "demo_service.h"
#include "shell/layout.h"
#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "window/window_harness.h"
#include "window/x_session.h"
// After the toolkit's headers: Xlib's macros.
#include "window/pane_pages.h"

namespace pelmora::window_test {
namespace {

namespace fs = std::filesystem;
namespace layout = shell::layout;

// Start, an episode of the catalogue, full screen and back, the pin, compact mode and back.
TEST(NativeWayland, TheWindowOnWeston) {
  const std::string media = pelmora::testing::window::demo_media();
  XSession x;
  if (media.empty() || !fs::exists("/usr/bin/weston") || !x.open()) GTEST_SKIP();
  pelmora::testing::TempFolder folder;
  service::ServiceOptions options;
  options.media_folder = media;
  service::DemoService demo(options);
  ASSERT_TRUE(demo.start());
  // The engine terminal the program starts from its folder outlives it.
  struct EndStarted {
    const pelmora::testing::TempFolder& folder;
    ~EndStarted() { pelmora::testing::end_processes_started_from(folder.path()); }
  } end_started{folder};
  const std::string run = folder.file("run");
  fs::create_directories(run);
  fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
  Child weston, program;
  ASSERT_TRUE(weston.start({"weston", "--backend=x11-backend.so", "--use-pixman", "--width=1600",
                            "--height=1000", "--socket=pelmora-test", "--idle-time=0"},
                           {"DISPLAY=" + x.name(), "XDG_RUNTIME_DIR=" + run}, run + "/weston.log"));
  pause_ms(5000);  // weston's desktop and its panel (40 pixels, with a clock) along the top
  // weston's pointer follows X's by the steps it is moved, from where weston placed it: to the
  // far corner and back to the near one, it stops at both edges and then stands where X's does.
  x.move(x.screen_width() - 1, x.screen_height() - 1);
  x.move(0, 0);
  x.move(x.screen_width() / 2, 5);
  const Box screen{0, 40, x.screen_width(), x.screen_height() - 40};
  const Shot desktop = x.grab(screen);
  const auto window = [&] {
    x.move(screen.width / 2, 5);  // weston draws the pointer: it waits on the panel meanwhile
    const Shot now = x.grab(screen);
    int left = screen.width, top = x.screen_height(), right = -1, bottom = -1;
    for (int y = screen.y; y < x.screen_height(); y += 2) {
      for (int at = 0; at < screen.width; at += 2) {
        if (now.at(at, y).near(desktop.at(at, y), 6)) continue;
        left = std::min(left, at), right = std::max(right, at);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    return right < 0 ? Box{} : Box{left, top, right - left + 2, bottom - top + 2};
  };
  const auto moves = [&](const Box& box) {
    const Shot before = x.grab(box);
    pause_ms(500);
    return x.grab(box).differences(before) > 30;
  };
  const std::vector<std::string> environment{
      "WAYLAND_DISPLAY=pelmora-test",
      "XDG_RUNTIME_DIR=" + run,
      "QT_QPA_PLATFORM=wayland",
      "PELMORA_SERVICE_URL=" + demo.base_url(),
      "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu",
      "DBUS_SESSION_BUS_ADDRESS=disabled:",
      "LANG=C.UTF-8",
      "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"};
  ASSERT_TRUE(program.start({PELMORA_PROGRAM, "--home", folder.file("home")}, environment,
                            run + "/program.log"));
  Box shown;
  ASSERT_TRUE(wait_until([&] { return (shown = window()).width > 700; }, 60000)) << "no window";
  // An episode button of the catalogue (the demo's colour for them) plays the episode.
  const auto episode = [&] { return button_of_colour(x, shown, Rgb{0x37, 0x47, 0x4F}); };
  ASSERT_TRUE(wait_until([&] { return episode().has_value(); }, 30000)) << "no catalogue";
  const std::size_t asked = demo.seen().resource_requests.size();
  x.click(episode()->first, episode()->second);
  EXPECT_TRUE(wait_until([&] { return demo.seen().resource_requests.size() > asked; }, 15000))
      << "the episode click asked the service nothing";
  // The picture, with the clip's running clock along its bottom.
  const auto picture = [&] { return Box{shown.x + 10, shown.y + 100, 580, 400}; };
  ASSERT_TRUE(wait_until([&] { return (shown = window()).width > 700 && moves(picture()); }, 30000))
      << "nothing plays on weston";

  // Full screen by a double click, Escape back: the window comes back at its own size (the
  // compositor places it).
  const Box corner{2, x.screen_height() - 60, 60, 58};
  const Shot bare_corner = x.grab(corner);
  // The picture moving in two glimpses running is the playing picture, not the switch from the
  // advert panel (whose play button a double click would press twice).
  ASSERT_TRUE(wait_until([&] { return moves(picture()) && moves(picture()); }, 30000));
  const auto covered = [&] { return x.grab(corner).differences(bare_corner) > 1000; };
  x.double_click(picture().center_x(), picture().center_y());
  EXPECT_TRUE(wait_until(covered, 10000)) << "no full screen";
  x.key(XK_Escape);
  const auto own_size = [&] {
    const Box now = window();
    return now.width == shown.width && now.height == shown.height;
  };
  EXPECT_TRUE(wait_until(own_size, 5000)) << window().width << "x" << window().height;
  shown = window();

  // The pin (no keep-above there) and compact mode never move the window or make it anew.
  const layout::CaptionRow row = layout::caption_row(shown.width);
  x.click(shown.x + row.pin.left + 12, shown.y + row.pin.top + 12);
  x.move(shown.x + 300, shown.y + 300);
  EXPECT_TRUE(wait_until([&] { return window() == shown; }, 3000)) << "the pin moved the window";
  x.click(shown.x + row.compact.left + 12, shown.y + row.compact.top + 12);
  EXPECT_TRUE(wait_until([&] { return window().width > 0 && window().width < 450; }, 5000));
  const Box small = window();
  x.click(small.x + small.width - 19, small.y + 9);  // the "x" label
  EXPECT_TRUE(wait_until([&] { return window().width > 700; }, 5000));

  // Closed to the tray where no tray can show (no StatusNotifierItem host here): the window goes
  // from the desktop, the program goes on, and a later start brings the window back.
  const Box back = window();
  x.click(back.x + row.close.left + 12, back.y + row.close.top + 12);
  pause_ms(1500);  // the close question
  x.key(XK_Return);
  EXPECT_TRUE(wait_until([&] { return window().width == 0; }, 5000)) << "the window stayed";
  EXPECT_TRUE(program.running());
  Child again;
  ASSERT_TRUE(again.start({PELMORA_PROGRAM, "--home", folder.file("home")}, environment,
                          run + "/again.log") &&
              again.wait_exit(60000));
  EXPECT_TRUE(wait_until([&] { return window().width > 700; }, 10000)) << "no way back";
  EXPECT_TRUE(program.running());
}

}  // namespace
}  // namespace pelmora::window_test
