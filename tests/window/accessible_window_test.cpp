// The real `pelmora` program as a screen-reader user and a keyboard-only user meet it: a virtual
// screen with a window manager, a session bus of the test's own with the accessibility registry,
// the demo service. The screen reader's side goes through AT-SPI (what Orca reads and presses);
// the keyboard's through XTest; what a person sees is checked on the screen.
#include <gtest/gtest.h>

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
  return Node(raw, [](AtspiAccessible* a) {
    if (a != nullptr) g_object_unref(a);
  });
}
std::string take(gchar* text) {
  std::string out = text != nullptr ? text : "";
  g_free(text);
  return out;
}
std::string name_of(const Node& n) {
  return take(atspi_accessible_get_name(n.get(), nullptr));
}
AtspiRole role_of(const Node& n) {
  return atspi_accessible_get_role(n.get(), nullptr);
}
bool has_state(const Node& n, AtspiStateType state) {
  AtspiStateSet* set = atspi_accessible_get_state_set(n.get());
  const bool found = set != nullptr && atspi_state_set_contains(set, state);
  if (set != nullptr) g_object_unref(set);
  return found;
}
Box extents(const Node& n) {
  AtspiComponent* c = atspi_accessible_get_component_iface(n.get());
  AtspiRect* r =
      c != nullptr ? atspi_component_get_extents(c, ATSPI_COORD_TYPE_SCREEN, nullptr) : nullptr;
  const Box box = r != nullptr ? Box{r->x, r->y, r->width, r->height} : Box{};
  g_free(r);
  if (c != nullptr) g_object_unref(c);
  return box;
}
// Runs the named action ("Press" for the program's controls); false when it has none.
bool act(const Node& n, const std::string& wanted) {
  AtspiAction* action = atspi_accessible_get_action_iface(n.get());
  if (action == nullptr) return false;
  bool done = false;
  const int count = atspi_action_get_n_actions(action, nullptr);
  for (int i = 0; i < count && !done; ++i) {
    if (take(atspi_action_get_action_name(action, i, nullptr)) == wanted) {
      done = atspi_action_do_action(action, i, nullptr);
    }
  }
  g_object_unref(action);
  return done;
}
double value_of(const Node& n) {
  AtspiValue* value = atspi_accessible_get_value_iface(n.get());
  const double current = value != nullptr ? atspi_value_get_current_value(value, nullptr) : -1;
  if (value != nullptr) g_object_unref(value);
  return current;
}
// The first node under `root` (depth first) with this role whose name starts with `name`.
Node find(const Node& root, AtspiRole role, const std::string& name, int depth = 0) {
  if (!root || depth > 30) return {};
  if (role_of(root) == role && name_of(root).starts_with(name)) return root;
  const int count = atspi_accessible_get_child_count(root.get(), nullptr);
  for (int i = 0; i < count; ++i) {
    if (Node found = find(hold(atspi_accessible_get_child_at_index(root.get(), i, nullptr)), role,
                          name, depth + 1)) {
      return found;
    }
  }
  return {};
}

// What the screen reader was told had the focus, latest last.
std::vector<std::string> announced;
void on_focus(AtspiEvent* event, void*) {
  if (event->detail1 == 1 && event->source != nullptr) {
    announced.push_back(take(atspi_accessible_get_name(event->source, nullptr)));
  }
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}
void pump(int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < until) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    pause_ms(10);
  }
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
    bus = "unix:path=" + folder.file("bus");
    ASSERT_TRUE(
        dbus.start({"dbus-daemon", "--session", "--nofork", "--address=" + bus}, {}, "/dev/null"));
    ::setenv("DISPLAY", x.name().c_str(), 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    ASSERT_TRUE(wait_until([&] { return fs::exists(folder.file("bus")); }, 5000));
    ASSERT_TRUE(registry.start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, {},
                               "/dev/null"));
    // A screen reader starting: it switches the desktop's accessibility on.
    ASSERT_TRUE(wait_until(
        [] {
          return run({"dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                      "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                      "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true"});
        },
        10000));
    fs::create_directories(folder.file("home"));
    fs::create_directories(folder.file("run"));
  }
  void TearDown() override { testing::end_processes_started_from(folder.path()); }

  static bool run(const std::vector<std::string>& argv) {
    Child child;
    return child.start(argv, {}, "/dev/null") && child.wait_exit(5000) && child.exit_code() == 0;
  }
  Node frame() {
    Node desktop = hold(atspi_get_desktop(0));
    const int count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int i = 0; i < count; ++i) {
      Node app = hold(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
      if (app && name_of(app) == "Pelmora") return app;
    }
    return {};
  }
  Node await(AtspiRole role, const std::string& name, int ms = 20000) {
    Node found;
    wait_until([&] { return (found = find(frame(), role, name)) != nullptr; }, ms);
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
    int count = 0;
    for (int y = box.y; y < box.y + box.height; ++y) {
      for (int at = box.x; at < box.x + box.width; ++at) count += shot.at(at, y).near(kOrange, 40);
    }
    return count;
  }
  // Presses Tab (or Shift+Tab) until the screen reader is told `name` has the focus.
  bool tab_to(const std::string& name, bool back = false, int most = 60) {
    for (int i = 0; i < most; ++i) {
      announced.clear();
      x.key(XK_Tab, back, 150);
      for (int wait = 0; wait < 10 && announced.empty(); ++wait) pump(100);
      if (announced.empty()) {  // every focus change is announced
        ADD_FAILURE() << "Tab " << i << " towards " << name << " was not announced";
        return false;
      }
      if (announced.back().starts_with(name)) return true;
    }
    return false;
  }

  testing::TempFolder folder;
  std::string media;
  std::string bus;
  XSession x;
  Child dbus;
  Child registry;
  Child program;
  std::unique_ptr<service::DemoService> demo;
};

TEST_F(ByScreenReaderAndKeyboard, ReadsPressesAndWalksTheWindow) {
  fs::create_directories(std::string(PELMORA_BINARY_DIR) + "/window-shots");
  ASSERT_TRUE(program.start(
      {PELMORA_PROGRAM, "--home", folder.file("home")},
      {"PELMORA_SERVICE_URL=" + demo->base_url(), "XDG_RUNTIME_DIR=" + folder.file("run"),
       "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu", "QT_QPA_PLATFORM=xcb",
       "LANG=C.UTF-8", "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"},
      std::string(PELMORA_BINARY_DIR) + "/window-shots/accessible.log"));
  atspi_init();
  AtspiEventListener* listener = atspi_event_listener_new(on_focus, nullptr, nullptr);
  atspi_event_listener_register(listener, "object:state-changed:focused", nullptr);

  // ---- The tree: one frame named with the title (no off-screen windows of the engine beside
  // it), the controls by role and name with their action, the selected tab, the search hint.
  Node episode = await(ATSPI_ROLE_LINK, "山海之间 第1集，来源 1 · 高清", 60000);
  ASSERT_TRUE(episode) << "the catalogue's episode links are not in the tree with their names";
  Node app = frame();
  ASSERT_EQ(atspi_accessible_get_child_count(app.get(), nullptr), 1);
  Node window = hold(atspi_accessible_get_child_at_index(app.get(), 0, nullptr));
  EXPECT_EQ(role_of(window), ATSPI_ROLE_FRAME);
  EXPECT_EQ(name_of(window), "Pelmora");
  for (const char* name : {"最小化", "最大化", "关闭", "置顶", "主菜单", "迷你模式", "搜索"}) {
    EXPECT_TRUE(find(window, ATSPI_ROLE_PUSH_BUTTON, name)) << name;
  }
  Node library = find(window, ATSPI_ROLE_PAGE_TAB, "片库");
  Node playback = find(window, ATSPI_ROLE_PAGE_TAB, "播放");
  ASSERT_TRUE(library && playback);
  EXPECT_TRUE(has_state(library, ATSPI_STATE_SELECTED) && has_state(library, ATSPI_STATE_ENABLED));
  EXPECT_FALSE(has_state(playback, ATSPI_STATE_SELECTED));
  Node search = find(window, ATSPI_ROLE_TEXT, "搜索");
  ASSERT_TRUE(search);
  AtspiText* text = atspi_accessible_get_text_iface(search.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(take(atspi_text_get_text(text, 0, -1, nullptr)), "");  // the prompt is no text
  g_object_unref(text);
  EXPECT_EQ(take(atspi_accessible_get_description(search.get(), nullptr)), "请输入电影或演员名称");

  // ---- Presses through the accessibility action do what clicks do: the tab's page shows,
  // the window fills the screen and comes back.
  ASSERT_TRUE(act(playback, "Press"));
  EXPECT_TRUE(wait_until([&] { return has_state(playback, ATSPI_STATE_SELECTED); }, 5000));
  EXPECT_GT(orange_in(extents(playback)), 40);
  EXPECT_FALSE(has_state(library, ATSPI_STATE_SELECTED));
  const Box normal = x.window_titled(program.pid(), "Pelmora")->box;
  ASSERT_TRUE(act(find(window, ATSPI_ROLE_PUSH_BUTTON, "最大化"), "Press"));
  EXPECT_TRUE(wait_until(
      [&] { return x.window_titled(program.pid(), "Pelmora")->box.width == x.screen_width(); },
      5000));
  Node restore = await(ATSPI_ROLE_PUSH_BUTTON, "还原", 5000);  // the name follows the tip
  ASSERT_TRUE(restore && act(restore, "Press"));
  EXPECT_TRUE(
      wait_until([&] { return x.window_titled(program.pid(), "Pelmora")->box == normal; }, 5000));
  // ---- The keyboard alone: Tab to the film library tab, Space selects it, Tab into the page
  // to an episode (links are read with their series), Enter plays it; Tab to the play button
  // (its focus mark shows), Space pauses; the arrows move the volume bar.
  x.activate(x.window_titled(program.pid(), "Pelmora")->id);  // as a task bar gives it the keys
  pause_ms(300);
  ASSERT_TRUE(tab_to("片库"));
  x.key(XK_space);
  ASSERT_TRUE(wait_until([&] { return has_state(library, ATSPI_STATE_SELECTED); }, 5000));
  ASSERT_TRUE(tab_to("星夜列车 第2集")) << "Tab never reached the episode";
  x.key(XK_Return);
  ASSERT_TRUE(await(ATSPI_ROLE_PUSH_BUTTON, "暂停", 30000))
      << "Enter on the episode played nothing";
  ASSERT_TRUE(wait_until([&] { return picture_moves(); }, 30000));
  ASSERT_TRUE(tab_to("暂停"));
  const Box button = extents(await(ATSPI_ROLE_PUSH_BUTTON, "暂停"));
  EXPECT_GT(orange_in({button.x, button.y, button.width, 1}), button.width / 2) << "no focus mark";
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Space did not pause";
  ASSERT_TRUE(tab_to("音量"));
  Node volume = await(ATSPI_ROLE_SLIDER, "音量");
  const double loud = value_of(volume);
  x.key(XK_Left);
  x.key(XK_Left);
  EXPECT_TRUE(wait_until([&] { return value_of(volume) <= loud - 20; }, 3000)) << loud;

  // ---- Play and pause by the screen reader's Press on the transport button.
  ASSERT_TRUE(act(await(ATSPI_ROLE_PUSH_BUTTON, "播放"), "Press"));
  Node pause = await(ATSPI_ROLE_PUSH_BUTTON, "暂停", 5000);  // the name follows the tip
  ASSERT_TRUE(pause);
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 8000)) << "Press did not play";
  ASSERT_TRUE(act(pause, "Press"));
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Press did not pause";
  atspi_event_listener_deregister(listener, "object:state-changed:focused", nullptr);
  g_object_unref(listener);
}

}  // namespace
}  // namespace pelmora::window_test
#endif
