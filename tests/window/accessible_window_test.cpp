// The real `pelmora` program as a screen-reader user and a keyboard-only user meet it: Xvfb with
// a window manager, a session bus of the test's own with the accessibility registry, the demo
// service. The screen reader's side goes through AT-SPI (what Orca reads and presses), the
// keyboard's through XTest; what a person sees is checked on the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "demo_service.h"
#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "window/window_harness.h"
#include "window/x_session.h"

#ifdef PELMORA_HAVE_ATSPI
#include <atspi/atspi.h>

namespace pelmora::window_test {
namespace {

namespace fs = std::filesystem;
constexpr Rgb kOrange{0xE8, 0x7E, 0x22};  // the skin's highlight: selected tab, focus mark
using Node = std::shared_ptr<AtspiAccessible>;

Node hold(AtspiAccessible* raw) {
  return Node(raw, [](AtspiAccessible* a) { a != nullptr ? g_object_unref(a) : void(); });
}
std::string take(gchar* text) {
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}
std::string name_of(const Node& n) {
  return take(atspi_accessible_get_name(n.get(), nullptr));
}
Node child(const Node& n, int i) {
  return hold(atspi_accessible_get_child_at_index(n.get(), i, nullptr));
}
bool has_state(const Node& n, AtspiStateType state) {
  AtspiStateSet* set = atspi_accessible_get_state_set(n.get());
  const bool found = set != nullptr && atspi_state_set_contains(set, state);
  if (set != nullptr) g_object_unref(set);
  return found;
}
Box extents(const Node& n) {
  AtspiRect* r =
      n ? atspi_component_get_extents(ATSPI_COMPONENT(n.get()), ATSPI_COORD_TYPE_SCREEN, nullptr)
        : nullptr;
  const Box box = r != nullptr ? Box{r->x, r->y, r->width, r->height} : Box{};
  g_free(r);
  return box;
}
// Runs the control's action "Press" (the first of the program's controls).
bool press(const Node& n) {
  AtspiAction* a = n ? ATSPI_ACTION(n.get()) : nullptr;
  return a != nullptr && take(atspi_action_get_action_name(a, 0, nullptr)) == "Press" &&
         atspi_action_do_action(a, 0, nullptr);
}
double value_of(const Node& n) {
  return atspi_value_get_current_value(ATSPI_VALUE(n.get()), nullptr);
}
// The first node under `root` (depth first) with this role whose name starts with `name`.
Node find(const Node& root, AtspiRole role, const std::string& name, int depth = 0) {
  if (!root || depth > 30) return {};
  if (atspi_accessible_get_role(root.get(), nullptr) == role && name_of(root).starts_with(name)) {
    return root;
  }
  const int count = atspi_accessible_get_child_count(root.get(), nullptr);
  for (int i = 0; i < count; ++i) {
    if (Node found = find(child(root, i), role, name, depth + 1)) return found;
  }
  return {};
}

// What the screen reader was told has the focus, latest last.
std::vector<std::string> announced;
void on_focus(AtspiEvent* event, void*) {
  if (event->detail1 == 1 && event->source != nullptr) {
    announced.push_back(take(atspi_accessible_get_name(event->source, nullptr)));
  }
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}

class ByScreenReaderAndKeyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    media = testing::window::demo_media();
    if (media.empty()) GTEST_SKIP() << "the demo clips cannot be made (ffmpeg missing?)";
    if (!x.open() || !x.start_window_manager()) GTEST_SKIP() << "no Xvfb or openbox";
    service::ServiceOptions options;
    options.media_folder = media;
    demo = std::make_unique<service::DemoService>(options);
    ASSERT_TRUE(demo->start());
    const std::string bus = "unix:path=" + folder.file("bus");
    ::setenv("DISPLAY", x.name().c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    ASSERT_TRUE(dbus.start({"dbus-daemon", "--session", "--nofork", "--address=" + bus}));
    ASSERT_TRUE(wait_until([&] { return fs::exists(folder.file("bus")); }, 5000));
    ASSERT_TRUE(registry.start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}));
    // A screen reader starting switches the desktop's accessibility on.
    ASSERT_TRUE(wait_until(
        [] {
          Child set;
          return set.start({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                            "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                            "string:org.a11y.Status", "string:IsEnabled",
                            "variant:boolean:true"}) &&
                 set.wait_exit(5000) && set.exit_code() == 0;
        },
        10000));
    for (const char* sub : {"home", "run"}) fs::create_directories(folder.file(sub));
    fs::create_directories(std::string(PELMORA_BINARY_DIR) + "/window-shots");
  }
  void TearDown() override { testing::end_processes_started_from(folder.path()); }

  Node await(AtspiRole role, const std::string& name, int ms = 20000) {
    Node found;
    wait_until(
        [&] {
          Node desktop = hold(atspi_get_desktop(0));
          for (int i = 0; i < atspi_accessible_get_child_count(desktop.get(), nullptr); ++i) {
            if (Node app = child(desktop, i); app && name_of(app) == "Pelmora") {
              found = find(app, role, name);
            }
          }
          return found != nullptr;
        },
        ms);
    return found;
  }
  // The player's picture changes over half a second (the demo clips show a running clock).
  bool picture_moves() {
    const Box bar = extents(await(ATSPI_ROLE_SLIDER, "播放进度"));
    const Box picture{bar.center_x() - 100, bar.y - 160, 200, 120};
    const Shot before = x.grab(picture);
    pause_ms(500);
    return x.grab(picture).differences(before) > 30;
  }
  int orange_in(const Box& box) {
    const Shot shot = x.grab(box);
    return static_cast<int>(std::count_if(shot.pixels.begin(), shot.pixels.end(), [](auto p) {
      return Rgb{int(p >> 16 & 0xFF), int(p >> 8 & 0xFF), int(p & 0xFF)}.near(kOrange, 40);
    }));
  }
  // Presses Tab (Shift+Tab) until the screen reader is told `name` has the focus. A Tab into
  // a page whose document takes the focus is silent (the engine announces elements only).
  bool tab_to(const std::string& name, bool back = false) {
    for (int i = 0; i < 60; ++i) {
      announced.clear();
      x.key(XK_Tab, back, 150);
      for (int wait = 0; wait < 100 && announced.empty(); ++wait) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        pause_ms(10);
      }
      if (!announced.empty() && announced.back().starts_with(name)) return true;
    }
    return false;
  }

  testing::TempFolder folder;
  std::string media;
  XSession x;
  Child dbus, registry, program;
  std::unique_ptr<service::DemoService> demo;
};

TEST_F(ByScreenReaderAndKeyboard, ReadsPressesAndWalksTheWindow) {
  ASSERT_TRUE(program.start(
      {PELMORA_PROGRAM, "--home", folder.file("home")},
      {"PELMORA_SERVICE_URL=" + demo->base_url(), "XDG_RUNTIME_DIR=" + folder.file("run"),
       "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu", "QT_QPA_PLATFORM=xcb",
       "LANG=C.UTF-8", "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"},
      std::string(PELMORA_BINARY_DIR) + "/window-shots/accessible.log"));
  atspi_init();
  AtspiEventListener* listener = atspi_event_listener_new(on_focus, nullptr, nullptr);
  atspi_event_listener_register(listener, "object:state-changed:focused", nullptr);

  // ---- The tree: one frame named by the title (none of the engine's off-screen windows), the
  // pages' links named with their series, the controls by role and name, the search hint.
  ASSERT_TRUE(await(ATSPI_ROLE_LINK, "山海之间 第1集，来源 1 · 高清", 60000));
  const Node window = await(ATSPI_ROLE_FRAME, "Pelmora");
  const Node app = hold(atspi_accessible_get_application(window.get(), nullptr));
  EXPECT_EQ(atspi_accessible_get_child_count(app.get(), nullptr), 1);
  for (const char* name : {"最小化", "关闭", "置顶", "主菜单", "迷你模式", "搜索"}) {
    EXPECT_TRUE(find(window, ATSPI_ROLE_PUSH_BUTTON, name)) << name;
  }
  const Node library = find(window, ATSPI_ROLE_PAGE_TAB, "片库");
  const Node playback = find(window, ATSPI_ROLE_PAGE_TAB, "播放");
  ASSERT_TRUE(library && playback);
  EXPECT_TRUE(has_state(library, ATSPI_STATE_SELECTED) && has_state(library, ATSPI_STATE_ENABLED));
  const Node search = find(window, ATSPI_ROLE_TEXT, "搜索");
  ASSERT_TRUE(search);
  EXPECT_EQ(take(atspi_text_get_text(ATSPI_TEXT(search.get()), 0, -1, nullptr)), "");
  EXPECT_EQ(take(atspi_accessible_get_description(search.get(), nullptr)), "请输入电影或演员名称");

  // ---- Presses do what clicks do: the tab's page shows; the window fills the screen, the
  // button's name follows its tip, and the window comes back.
  ASSERT_TRUE(press(playback));
  EXPECT_TRUE(wait_until([&] { return has_state(playback, ATSPI_STATE_SELECTED); }, 5000));
  EXPECT_GT(orange_in(extents(playback)), 40);
  EXPECT_FALSE(has_state(library, ATSPI_STATE_SELECTED));
  const auto frame = [&] { return x.window_titled(program.pid(), "Pelmora")->box; };
  const Box normal = frame();
  ASSERT_TRUE(press(find(window, ATSPI_ROLE_PUSH_BUTTON, "最大化")));
  EXPECT_TRUE(wait_until([&] { return frame().width == x.screen_width(); }, 5000));
  ASSERT_TRUE(press(await(ATSPI_ROLE_PUSH_BUTTON, "还原", 5000)));
  EXPECT_TRUE(wait_until([&] { return frame() == normal; }, 5000));

  // ---- The keyboard alone (a task bar gave the window the keys): Tab to the library tab,
  // Space selects it, Tab into the page to an episode, Enter plays it; Tab to the play button
  // (its focus mark shows), Space pauses; the arrows move the seek and volume bars.
  x.activate(x.window_titled(program.pid(), "Pelmora")->id);
  ASSERT_TRUE(tab_to("片库"));
  x.key(XK_space);
  ASSERT_TRUE(wait_until([&] { return has_state(library, ATSPI_STATE_SELECTED); }, 5000));
  ASSERT_TRUE(tab_to("星夜列车 第2集"));
  x.key(XK_Return);
  ASSERT_TRUE(await(ATSPI_ROLE_PUSH_BUTTON, "暂停", 30000))
      << "Enter on the episode played nothing";
  ASSERT_TRUE(wait_until([&] { return picture_moves(); }, 30000));
  // Starting the episode moved no focus: Space pauses and plays (it used to land on the
  // compact-mode button and change the window).
  const Box playing_frame = frame();
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Space after Enter";
  EXPECT_EQ(frame(), playing_frame) << "Space after Enter changed the window";
  x.key(XK_space);
  ASSERT_TRUE(wait_until([&] { return picture_moves(); }, 8000));
  // The seek bar reads the played seconds (the clips last 24); Left steps ten back.
  const Node seek = await(ATSPI_ROLE_SLIDER, "播放进度");
  ASSERT_TRUE(wait_until([&] { return value_of(seek) >= 6; }, 10000));
  ASSERT_TRUE(tab_to("暂停"));
  const Box button = extents(await(ATSPI_ROLE_PUSH_BUTTON, "暂停"));
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Space did not pause";
  EXPECT_TRUE(wait_until(
      [&] {
        return orange_in({button.x, button.y, button.width, 1}) > button.width / 2;
      },
      3000))
      << "no focus mark";
  ASSERT_TRUE(tab_to("播放进度", true));
  const double at = value_of(seek);
  x.key(XK_Left);
  EXPECT_TRUE(wait_until([&] { return value_of(seek) <= at - 5; }, 3000)) << at;
  ASSERT_TRUE(tab_to("音量"));
  const Node volume = await(ATSPI_ROLE_SLIDER, "音量");
  const double loud = value_of(volume);
  x.key(XK_Left);
  x.key(XK_Left);
  EXPECT_TRUE(wait_until([&] { return value_of(volume) <= loud - 20; }, 3000)) << loud;

  // ---- Play and pause by the screen reader's Press; the settings by the keyboard, through the
  // main menu.
  ASSERT_TRUE(press(await(ATSPI_ROLE_PUSH_BUTTON, "播放")));
  const Node pause = await(ATSPI_ROLE_PUSH_BUTTON, "暂停", 5000);
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 8000)) << "Press did not play";
  ASSERT_TRUE(press(pause));
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Press did not pause";
  ASSERT_TRUE(tab_to("主菜单"));
  x.key(XK_space, false, 600);
  x.key(XK_Down);
  x.key(XK_Return);
  EXPECT_TRUE(await(ATSPI_ROLE_FRAME, "软件设置", 5000));
  EXPECT_TRUE(await(ATSPI_ROLE_PAGE_TAB, "缓存设置", 5000));
  atspi_event_listener_deregister(listener, "object:state-changed:focused", nullptr);
  g_object_unref(listener);
}

}  // namespace
}  // namespace pelmora::window_test
#endif
