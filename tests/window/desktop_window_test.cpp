// The real `pelmora` program on a virtual screen of its own, used as a person uses it: pointer
// and keys go through the X server (XTest) at the places the window's layout gives its controls,
// and the test checks what a person sees and what the program leaves behind: the screen's
// pixels, the window's place and size, the program's files and what the demo service was asked.
// Each test is one long session of one program start, with the demo service and its clips.
#include <gtest/gtest.h>

#include <QtGui/QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "app/settings_store.h"
#include "demo_service.h"
#include "shell/layout.h"
#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "window/resting_panes.h"
#include "window/window_harness.h"
#include "window/x_session.h"
// After the toolkit's headers: it brings in the X headers.
#include "window/pane_pages.h"

#include "window/x_transfers.h"

namespace pelmora::window_test {
namespace {

namespace fs = std::filesystem;

// The catalogue's first episode, whose clip the window sessions open in red for a second.
constexpr char kRedOpeningClip[] = "p101-s1-e01.mp4";

// The demo clips copied into `into`, the first episode's with a red first second, so that the
// screen tells whether an episode's first frame is what a click shows first. Empty when the
// clip cannot be made.
std::string with_red_opening(const std::string& demo, const std::string& into) {
  fs::create_directories(into);
  for (const auto& entry : fs::directory_iterator(demo)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != kRedOpeningClip) {
      fs::copy_file(entry.path(), fs::path(into) / name);
    }
  }
  const std::string command =
      std::string("ffmpeg -hide_banner -loglevel error -nostdin -y -i '") + demo + "/" +
      kRedOpeningClip +
      "' -vf \"drawbox=x=0:y=0:w=iw:h=ih:color=red:t=fill:enable='lt(t,1)'\" -c:v libx264 "
      "-preset veryfast -crf 32 -pix_fmt yuv420p -c:a copy -movflags +faststart '" +
      into + "/" + kRedOpeningClip + "'";
  return std::system(command.c_str()) == 0 ? into : std::string();
}
namespace layout = shell::layout;
using layout::Rect;
using pelmora::testing::end_processes_started_from;
using pelmora::testing::TempFolder;

// The skin's orange (selected tab, volume fill, seek thumb) and the catalogue's episode buttons.
constexpr Rgb kOrange{0xE8, 0x7E, 0x22};
constexpr Rgb kEpisodeButton{0x37, 0x47, 0x4F};

using pelmora::testing::window::demo_media;

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Where the main window's controls are on the screen, from the window's place and size and the
// layout rules of the window (the same pure functions the program lays itself out with).
struct Places {
  Box window;
  bool side_panel = true;
  int volume = 100;

  Box on_screen(const Rect& rect, int dx = 0, int dy = 0) const {
    return {window.x + dx + rect.left, window.y + dy + rect.top, rect.width, rect.height};
  }
  int W() const { return window.width; }
  int H() const { return window.height; }
  layout::CaptionRow row() const { return layout::caption_row(W()); }
  layout::TabStrip tabs() const { return layout::tab_strip(); }
  Rect zz() const { return layout::pane(W(), H()); }
  layout::SidePanelSplit split() const {
    return layout::side_panel_split(zz().width, zz().height, side_panel);
  }
  layout::SidePanelInterior inside() const {
    return layout::side_panel_interior(zz().width, zz().height, 20);
  }
  Rect foot() const { return layout::bottom_bar(zz().width, zz().height); }
  layout::PlayerArea area() const {
    layout::PlayerAreaInput in;
    in.web_area_width = split().web_area.width;
    in.web_area_height = split().web_area.height;
    in.seek_bar = {0, 0, 100, 8};
    in.status_bar = {0, 0, 100, 22};
    in.play_button = {0, 0, 80, 80};
    in.bar_width = foot().width;
    in.form_width = W();
    in.knob = {0, 0, 10, 10};
    in.volume = volume;
    return layout::player_area(in);
  }
  // A control of the playback pane zz, of its left area L1 or of its bottom bar.
  Box in_zz(const Rect& rect) const { return on_screen(rect, zz().left, zz().top); }
  Box in_player(const Rect& rect) const {
    return in_zz({split().left_area.left + rect.left, split().left_area.top + rect.top, rect.width,
                  rect.height});
  }
  Box in_foot(const Rect& rect) const {
    return in_zz({foot().left + rect.left, foot().top + rect.top, rect.width, rect.height});
  }
  Box in_side_panel(const Rect& rect) const {
    return in_zz(
        {split().panel.left + rect.left, split().panel.top + rect.top, rect.width, rect.height});
  }
  Box transport(int index) const {
    const layout::PlayerArea a = area();
    const Rect rects[] = {a.play_pause, a.previous_row_first, a.sound, a.full_screen,      a.open,
                          a.previous,   a.shutdown,           a.next,  a.side_panel_button};
    return in_foot(rects[index]);
  }
  Box volume_bar() const { return in_foot(area().volume_bar); }
  Box seek_bar() const { return in_player(area().seek_bar); }
  // The picture of the player (or the advert panel in its place), without the bars.
  Box picture() const { return in_player(area().player); }
  Box catalogue() const { return on_screen(zz()); }
  Box list_pane() const { return in_side_panel(inside().list_pane); }
  Box search_text() const {
    const layout::SearchBox box = layout::search_box(W(), {0, 0, 200, 30}, {0, 0, 50, 30});
    return on_screen(box.text);
  }
  Box search_button() const {
    const layout::SearchBox box = layout::search_box(W(), {0, 0, 200, 30}, {0, 0, 50, 30});
    return on_screen(box.button);
  }
};

class DesktopByHand : public ::testing::Test {
 protected:
  void SetUp() override {
    media = demo_media();
    if (media.empty()) GTEST_SKIP() << "the demo clips cannot be made (ffmpeg missing?)";
    media = with_red_opening(media, folder.file("media"));
    ASSERT_FALSE(media.empty()) << "the red opening could not be made";
    if (!x.open()) GTEST_SKIP() << "no Xvfb with the XTest extension";
    service::ServiceOptions options;
    options.media_folder = media;
    demo = std::make_unique<service::DemoService>(options);
    ASSERT_TRUE(demo->start());
    fs::create_directories(folder.file("home"));
    fs::create_directories(folder.file("run"));
    fs::create_directories(folder.file("clips"));
  }
  // The engine terminal the program started from its player folder outlives the window.
  void TearDown() override { end_processes_started_from(folder.path()); }

  std::vector<std::string> environment() const {
    return {"DISPLAY=" + x.name(),
            "PELMORA_SERVICE_URL=" + demo->base_url(),
            "PELMORA_SHUTDOWN_COMMAND=touch " + folder.file("shutdown-requested"),
            "XDG_RUNTIME_DIR=" + folder.file("run"),
            "QTWEBENGINE_CHROMIUM_FLAGS=--no-sandbox --disable-gpu",
            "DBUS_SESSION_BUS_ADDRESS=disabled:",
            "QT_QPA_PLATFORM=xcb",
            "LANG=C.UTF-8",
            "PELMORA_PANE_LOG=1",
            "ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0"};
  }

  // Starts the program and waits for its window and the catalogue's first episode button.
  void start_program() {
    const std::string shots = std::string(PELMORA_BINARY_DIR) + "/window-shots";
    fs::create_directories(shots);
    const std::string log =
        shots + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
    program_log = log;
    ASSERT_TRUE(
        program.start({PELMORA_PROGRAM, "--home", folder.file("home")}, environment(), log));
    ASSERT_TRUE(wait_until([&] { return main_window().has_value(); }, 60000))
        << "no main window appeared";
    // A window manager may still be placing the window: its place is taken again each time.
    ASSERT_TRUE(wait_until(
        [&] {
          refresh_places();
          return first_episode_button().has_value();
        },
        60000))
        << "the catalogue did not show";
  }

  std::optional<XSession::WindowInfo> main_window() {
    return x.window_titled(program.pid(), "Pelmora");
  }
  // Waits for a window of the program with this title to show; its place and size.
  std::optional<Box> await_window(const std::string& title, int ms = 5000) {
    if (!wait_until([&] { return x.window_titled(program.pid(), title).has_value(); }, ms)) {
      return std::nullopt;
    }
    return x.window_titled(program.pid(), title)->box;
  }
  // Waits for the program's window with this title to go.
  bool window_gone(const std::string& title) {
    return wait_until([&] { return !x.window_titled(program.pid(), title); }, 5000);
  }
  void refresh_places() {
    if (const auto window = main_window()) places.window = window->box;
  }
  Box window_box() {
    const auto window = main_window();
    return window ? window->box : Box{};
  }

  std::string home_file(const std::string& name) { return read_file(folder.file("home/" + name)); }
  std::string setting(const std::string& key) {
    return settings::read_ini(folder.file("home/config.dll"), "S_q", key);
  }

  // The first episode button of the catalogue page (its colour), as a point to click.
  std::optional<std::pair<int, int>> first_episode_button() {
    const Box area = places.catalogue();
    if (area.width <= 0) return std::nullopt;
    const Shot shot = x.grab(area);
    if (shot.pixels.empty()) return std::nullopt;
    for (int y = area.y; y < area.y + area.height; y += 2) {
      for (int x0 = area.x; x0 < area.x + area.width; x0 += 2) {
        if (shot.at(x0, y).near(kEpisodeButton, 3) && x0 + 6 < area.x + area.width &&
            y + 6 < area.y + area.height && shot.at(x0 + 6, y + 6).near(kEpisodeButton, 3)) {
          return std::pair{x0 + 8, y + 8};
        }
      }
    }
    return std::nullopt;
  }
  // Orange pixels on one row of a box, left to right: the count and the last one's x.
  std::pair<int, int> orange_on_row(const Box& box, int y) {
    const Shot shot = x.grab({box.x, y, box.width, 1});
    int count = 0;
    int last = -1;
    for (int at = box.x; at < box.x + box.width; ++at) {
      if (shot.at(at, y).near(kOrange, 40)) {
        ++count;
        last = at;
      }
    }
    return {count, last};
  }
  int orange_in(const Box& box) {
    const Shot shot = x.grab(box);
    int count = 0;
    for (int y = box.y; y < box.y + box.height; ++y) {
      for (int at = box.x; at < box.x + box.width; ++at) count += shot.at(at, y).near(kOrange, 40);
    }
    return count;
  }
  // The player's picture changes over half a second: something plays.
  // (The demo clips show a running clock.)
  bool picture_moves() {
    const Box box = places.picture();
    const Shot before = x.grab(box);
    pause_ms(500);
    return x.grab(box).differences(before) > 30;
  }
  // The picture moves in two glimpses running: the window has gone from the advert panel (and
  // its play button, which a double click would press twice) to the playing picture, which the
  // switch alone does once.
  bool picture_plays() { return picture_moves() && picture_moves(); }
  // The seek thumb's left edge on the bar, -1 when it cannot be seen.
  int seek_thumb() {
    const Box bar = places.seek_bar();
    const auto [count, last] = orange_on_row(bar, bar.center_y());
    return count > 0 ? last - bar.x - 7 : -1;
  }
  // Pixels of a box that are not the window's dark surface: a picture, not an empty panel.
  int lit_pixels(const Box& box) {
    const Shot picture = x.grab(box);
    int lit = 0;
    for (int y = box.y; y < box.y + box.height; y += 2) {
      for (int at = box.x; at < box.x + box.width; at += 2) {
        lit += !picture.at(at, y).near(Rgb{0x21, 0x21, 0x21}, 16);
      }
    }
    return lit * 4;
  }
  // The volume fill's width in pixels.
  int volume_fill() {
    const Box bar = places.volume_bar();
    return orange_on_row(bar, bar.y + 11).first;
  }

  // Saves what the screen shows of a box under build-test/window-shots/.
  void shot(const std::string& name, std::optional<Box> box = std::nullopt) {
    const Box area = box.value_or(window_box());
    const Shot picture = x.grab(area);
    if (picture.pixels.empty()) return;
    QImage image(area.width, area.height, QImage::Format_RGB32);
    for (int y = 0; y < area.height; ++y) {
      for (int at = 0; at < area.width; ++at) {
        image.setPixel(at, y,
                       0xFF000000u | picture.pixels[static_cast<std::size_t>(y * area.width + at)]);
      }
    }
    const std::string shots = std::string(PELMORA_BINARY_DIR) + "/window-shots";
    fs::create_directories(shots);
    image.save(QString::fromStdString(shots + "/" + name + ".png"));
  }

  bool searched(const std::string& word) {
    for (const std::string& seen : demo->seen().searches) {
      if (seen == word) return true;
    }
    return false;
  }
  std::size_t resource_requests() { return demo->seen().resource_requests.size(); }
  // The resource requests from the `from`-th on, joined: a step's own request, followed at once
  // by the next episode asked for ahead once the stepped-to episode plays.
  std::string resource_queries_since(std::size_t from) {
    const auto requests = demo->seen().resource_requests;
    std::string queries;
    for (std::size_t i = from; i < requests.size(); ++i) queries += requests[i].query + " ";
    return queries;
  }

  // A popup menu of the program: its window and the place of each of its entries, found by
  // moving the pointer down it and watching where the highlight bar lies.
  std::vector<Box> menu_entries(const Box& menu) {
    std::vector<Box> entries;
    const int x0 = menu.x + menu.width / 2;
    const int column = menu.x + 6;
    x.move(x0, menu.y - 20 > 0 ? menu.y - 20 : menu.y + menu.height + 20);
    pause_ms(100);
    const Shot plain = x.grab({column, menu.y, 1, menu.height});
    for (int y = menu.y + 3; y < menu.y + menu.height - 2; y += 3) {
      if (!entries.empty() && y < entries.back().y + entries.back().height) continue;
      x.move(x0, y);
      pause_ms(30);
      // The highlight bar under the pointer: the run of changed pixels around y in the column.
      const Shot lit = x.grab({column, menu.y, 1, menu.height});
      const auto changed = [&](int at) {
        return !lit.at(column, at).near(plain.at(column, at), 30);
      };
      if (!changed(y)) continue;
      int top = y;
      int bottom = y;
      while (top > menu.y && changed(top - 1)) --top;
      while (bottom < menu.y + menu.height - 1 && changed(bottom + 1)) ++bottom;
      entries.push_back({menu.x, top, menu.width, bottom - top + 1});
    }
    return entries;
  }
  // `lowest`: the menu's least height (the shutdown menu has two entries).
  std::optional<Box> popup_menu(int lowest = 60) {
    for (const auto& window : x.windows_of(program.pid())) {
      if (window.viewable && window.override_redirect && window.box.height > lowest &&
          window.box.width > 40 && window.box.width < 400) {
        return window.box;
      }
    }
    return std::nullopt;
  }

  // The push buttons along the bottom of a message box, left to right (the toolkit's layout
  // without a desktop's theme puts Yes before No). A row through their top borders shows them as
  // the only long runs of pixels unlike the dialog's face.
  std::vector<Box> dialog_buttons(const Box& dialog, std::size_t count) {
    const Shot picture = x.grab(dialog);
    const Rgb face = picture.at(dialog.x + 2, dialog.y + dialog.height - 3);
    for (int row = dialog.y + dialog.height - 50; row < dialog.y + dialog.height - 4; ++row) {
      std::vector<Box> runs;
      int first = -1;
      for (int at = dialog.x + 1; at < dialog.x + dialog.width; ++at) {
        const bool differs =
            at < dialog.x + dialog.width - 1 && !picture.at(at, row).near(face, 20);
        if (differs && first < 0) first = at;
        if (!differs && first >= 0) {
          if (at - first >= 40) runs.push_back(Box{first, row, at - first, 16});
          first = -1;
        }
      }
      if (runs.size() == count) return runs;
    }
    return {};
  }

  TempFolder folder;
  std::string media;
  XSession x;
  std::unique_ptr<service::DemoService> demo;
  Child program;
  std::string program_log;
  Places places;
};

// Everything a person does in the window, one action after another in one session.
TEST_F(DesktopByHand, ALongSessionOfClicksAndKeysWithoutAWindowManager) {
  start_program();
  shot("film-library");
  const Box start = window_box();
  const layout::TabStrip tabs = places.tabs();

  // ---- Panes behind the tabs rest (their pages frozen) and come back as they were: the
  // catalogue shows the same picture when its tab shows it again after it rested, and every tab
  // shows its page when pressed after its pane rested.
  {
    const Box catalogue = places.catalogue();
    const Box library = places.on_screen(tabs.library);
    const Box novels = places.on_screen(tabs.novels);
    ASSERT_TRUE(wait_until([&] { return resting_pane_count(program_log) >= 5; }, 30000))
        << "the hidden panes did not rest: " << resting_pane_count(program_log);
    x.move(library.center_x(), library.center_y());
    pause_ms(300);
    const Shot before = x.grab(catalogue);
    x.click(novels.center_x(), novels.center_y());
    EXPECT_TRUE(wait_until([&] { return pane_rests(program_log, "Web1"); }, 10000))
        << "the hidden catalogue did not rest";
    x.click(library.center_x(), library.center_y());
    EXPECT_TRUE(wait_until([&] { return x.grab(catalogue).differences(before) < 50; }, 3000))
        << "the catalogue came back otherwise: " << x.grab(catalogue).differences(before);
    for (const Rect& tab :
         {tabs.novels, tabs.recommendations, tabs.tv, tabs.music, tabs.playback, tabs.library}) {
      const Box box = places.on_screen(tab);
      x.click(box.center_x(), box.center_y());
      EXPECT_TRUE(wait_until([&] { return shows_a_page(x, catalogue); }, 5000))
          << "the tab at x " << tab.left << " shows no page";
    }
  }

  // ---- Tabs in every order: each click selects its tab, also right after another click, and
  // the mouse keeps working (a hovered tab that is disabled by its own click used to keep the
  // pointer to itself).
  const Rect order[] = {tabs.playback, tabs.tv,     tabs.music,           tabs.novels,
                        tabs.library,  tabs.music,  tabs.recommendations, tabs.tv,
                        tabs.playback, tabs.library};
  for (const Rect& tab : order) {
    const Box box = places.on_screen(tab);
    x.click(box.center_x(), box.center_y());
    EXPECT_TRUE(wait_until([&] { return orange_in(box) > 40; }, 5000))
        << "tab at x " << tab.left << " not selected";
    // No other tab shows as selected.
    for (const Rect& other :
         {tabs.library, tabs.playback, tabs.tv, tabs.music, tabs.novels, tabs.recommendations}) {
      if (other.left != tab.left) {
        EXPECT_LT(orange_in(places.on_screen(other)), 20);
      }
    }
  }
  EXPECT_EQ(window_box(), start) << "a click on a tab moved or resized the window";

  // A press on a tab with a small movement never moves the window.
  const Box tv = places.on_screen(tabs.tv);
  x.drag(tv.center_x(), tv.center_y(), tv.center_x() + 6, tv.center_y() + 4, 3);
  EXPECT_EQ(window_box(), start);
  x.click(places.on_screen(tabs.library).center_x(), places.on_screen(tabs.library).center_y());

  // ---- Hover labels: over a caption button its label shows below it, and it goes when the
  // pointer leaves.
  const Box minimise = places.on_screen(places.row().minimise);
  const Box label_area{minimise.x - 5, minimise.y + minimise.height + 3, 40, 16};
  const Shot no_label = x.grab(label_area);
  x.move(minimise.center_x(), minimise.center_y());
  x.move(minimise.center_x() + 1, minimise.center_y());
  EXPECT_TRUE(wait_until([&] { return x.grab(label_area).differences(no_label) > 20; }, 3000))
      << "no hover label";
  x.move(minimise.center_x(), minimise.y + 200);
  EXPECT_TRUE(wait_until([&] { return x.grab(label_area).differences(no_label) < 5; }, 3000))
      << "the hover label stayed";

  // ---- An episode of the catalogue: the service is asked, the playback tab shows and plays.
  x.click(places.on_screen(tabs.library).center_x(), places.on_screen(tabs.library).center_y());
  ASSERT_TRUE(wait_until([&] { return first_episode_button().has_value(); }, 15000));
  const auto episode = first_episode_button();
  // Nothing has played yet: the player's library is not in the program's memory; the pointer
  // resting on an episode starts loading it.
  const auto player_loaded = [&] {
    return read_file("/proc/" + std::to_string(program.pid()) + "/maps").find("/libmpv.so") !=
           std::string::npos;
  };
  EXPECT_FALSE(player_loaded()) << "the player's library was loaded before anything played";
  x.move(episode->first, episode->second);
  EXPECT_TRUE(wait_until(player_loaded, 5000)) << "the pointer on an episode loaded no player";
  const std::size_t asked = resource_requests();
  x.click(episode->first, episode->second);
  ASSERT_TRUE(wait_until([&] { return resource_requests() > asked; }, 15000))
      << "the episode click asked the service nothing";
  // The first picture that replaces the advert panel is the episode's first frame (its red
  // second), not one the player reached meanwhile.
  {
    const Box shown = places.picture();
    enum class Seen { kNothing, kRed, kOther } seen = Seen::kNothing;
    wait_until(
        [&] {
          const Shot shot = x.grab(shown);
          int red = 0;
          int lit = 0;
          for (int y = shown.y; y < shown.y + shown.height; y += 4) {
            for (int at = shown.x; at < shown.x + shown.width; at += 4) {
              const Rgb pixel = shot.at(at, y);
              red += pixel.r > 180 && pixel.g < 80 && pixel.b < 80;
              lit += !pixel.near(Rgb{0x21, 0x21, 0x21}, 16);
            }
          }
          const int all = (shown.width / 4) * (shown.height / 4);
          if (red * 2 > all)
            seen = Seen::kRed;
          else if (lit * 10 > all * 6)
            seen = Seen::kOther;
          return seen != Seen::kNothing;
        },
        30000);
    EXPECT_EQ(seen, Seen::kRed) << "the episode's first frame did not show first";
  }
  EXPECT_TRUE(wait_until([&] { return orange_in(places.on_screen(tabs.playback)) > 40; }, 10000));
  ASSERT_TRUE(wait_until([&] { return picture_moves(); }, 30000)) << "nothing plays";
  EXPECT_NE(home_file("date.dat").find("|"), std::string::npos);
  shot("playback");

  // ---- Transport: pause and play by the button, by Space, and by the big play button.
  const Box play = places.transport(0);
  x.click(play.center_x(), play.center_y());
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "pause did not pause";
  x.click(play.center_x(), play.center_y());
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 8000)) << "play did not play again";
  x.move(places.picture().center_x(), places.picture().center_y());
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Space did not pause";
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 8000)) << "Space did not play";

  // ---- Keys for volume: Down twice, Up once (the fill follows the volume).
  const int full = volume_fill();
  x.key(XK_Down);
  x.key(XK_Down);
  EXPECT_TRUE(wait_until([&] { return volume_fill() < full - 8; }, 3000))
      << "volume fill " << volume_fill() << " from " << full;
  const int lower = volume_fill();
  x.key(XK_Up);
  EXPECT_TRUE(wait_until([&] { return volume_fill() > lower; }, 3000));

  // ---- The volume bar by click and by dragging its knob.
  const Box volume = places.volume_bar();
  x.click(volume.x + 20, volume.center_y());
  EXPECT_TRUE(wait_until([&] { return std::abs(volume_fill() - 20) <= 2; }, 3000))
      << "volume fill " << volume_fill();
  x.drag(volume.x + 22, volume.y + 12, volume.x + 50, volume.y + 12);
  EXPECT_TRUE(wait_until([&] { return volume_fill() > 35; }, 3000))
      << "volume fill after the drag " << volume_fill();

  // ---- The wheel steps the volume, 5 % a notch: down over the picture, up over the bar.
  const int before_wheel = volume_fill();
  for (int notch = 0; notch < 4; ++notch) {
    x.click(places.picture().center_x(), places.picture().center_y(), 5);
  }
  EXPECT_TRUE(wait_until([&] { return volume_fill() < before_wheel - 8; }, 3000))
      << "volume fill " << volume_fill() << " from " << before_wheel;
  const int wheeled_down = volume_fill();
  for (int notch = 0; notch < 2; ++notch) x.click(volume.center_x(), volume.center_y(), 4);
  EXPECT_TRUE(wait_until([&] { return volume_fill() > wheeled_down + 3; }, 3000));
  // A held key goes on acting: Down held lowers the volume step after step, Up raises it.
  const int before_hold = volume_fill();
  x.hold(XK_Down, 1500);
  EXPECT_TRUE(wait_until([&] { return volume_fill() <= std::max(before_hold - 25, 0); }, 3000))
      << "held Down: volume fill " << volume_fill() << " from " << before_hold;
  const int held_down = volume_fill();
  x.hold(XK_Up, 1500);
  EXPECT_TRUE(wait_until([&] { return volume_fill() >= held_down + 25; }, 3000))
      << "held Up: volume fill " << volume_fill() << " from " << held_down;
  // The volume keys leave the mute button offering an extra unmute click; the volume bar puts
  // it back to offering mute.
  x.click(volume.x + 40, volume.center_y());
  EXPECT_TRUE(wait_until([&] { return std::abs(volume_fill() - 40) <= 2; }, 3000));

  // ---- The seek bar: a click seeks to its place, a drag of the thumb seeks to where it is let
  // go, and the arrow keys step ten seconds.
  const Box seek = places.seek_bar();
  x.click(seek.x + seek.width * 3 / 4, seek.center_y());
  // The thumb follows the player's position once the player has got there.
  EXPECT_TRUE(wait_until([&] { return seek_thumb() > seek.width * 3 / 4 - 50; }, 10000))
      << "thumb at " << seek_thumb() << " of " << seek.width;
  x.click(seek.x + seek.width / 5, seek.center_y());
  EXPECT_TRUE(wait_until([&] { return seek_thumb() < seek.width / 5 + 50; }, 10000))
      << "thumb at " << seek_thumb();
  const int thumb = seek_thumb();
  ASSERT_GE(thumb, 0);
  // A slow drag, over several ticks of the status monitor: the held thumb stays with the pointer.
  x.drag(seek.x + thumb + 3, seek.center_y(), seek.x + seek.width / 2, seek.center_y(), 12, 250);
  EXPECT_TRUE(wait_until([&] { return std::abs(seek_thumb() - seek.width / 2) < 60; }, 10000))
      << "thumb at " << seek_thumb();
  const int before_keys = seek_thumb();
  x.key(XK_Left);
  x.key(XK_Left);
  EXPECT_TRUE(wait_until([&] { return seek_thumb() < before_keys - 10; }, 4000));
  const int after_left = seek_thumb();
  x.key(XK_Right);
  EXPECT_TRUE(wait_until([&] { return seek_thumb() > after_left; }, 4000));
  // Back near the start: the first episode must still play when Next is pressed below (from
  // the middle, a slow run reached its end first and the program had moved on to the second).
  x.click(seek.x + 2, seek.center_y());
  EXPECT_TRUE(wait_until([&] { return seek_thumb() < seek.width / 10; }, 10000))
      << "thumb at " << seek_thumb();

  // ---- Mute: the button's picture changes and changes back.
  const Box mute = places.transport(2);
  const Shot loud = x.grab(mute);
  x.click(mute.center_x(), mute.center_y());
  x.move(mute.center_x(), mute.y - 60);
  EXPECT_TRUE(wait_until([&] { return x.grab(mute).differences(loud) > 10; }, 3000));
  x.click(mute.center_x(), mute.center_y());
  x.move(mute.center_x(), mute.y - 60);
  EXPECT_TRUE(wait_until([&] { return x.grab(mute).differences(loud) < 10; }, 3000));

  // ---- The picture's menu by a right click: its first entry pauses, and with no advert page
  // switched on the paused picture stays on view; the same entry plays again.
  const Box picture = places.picture();
  const auto picture_menu = [&] {
    x.click(picture.center_x(), picture.center_y(), 3);
    EXPECT_TRUE(wait_until([&] { return popup_menu().has_value(); }, 5000)) << "no menu";
    return popup_menu() ? menu_entries(*popup_menu()) : std::vector<Box>{};
  };
  std::vector<Box> picture_items = picture_menu();
  ASSERT_EQ(picture_items.size(), 7u);  // play, stop, full screen, mute, open, previous, next
  {                                     // the window with the menu over its picture, for the README
    const Box window = window_box();
    const int right =
        std::max(window.x + window.width, picture_items[0].x + picture_items[0].width);
    const int bottom =
        std::max(window.y + window.height, picture_items[6].y + picture_items[6].height);
    shot("picture-menu", Box{window.x, window.y, right - window.x, bottom - window.y});
  }
  x.click(picture_items[0].center_x(), picture_items[0].center_y());
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "the menu did not pause";
  pause_ms(1500);  // a tick of the status monitor
  EXPECT_GT(lit_pixels(picture), picture.width * picture.height / 4)
      << "the paused picture gave way to an empty panel";
  picture_items = picture_menu();
  ASSERT_FALSE(picture_items.empty());
  x.click(picture_items[0].center_x(), picture_items[0].center_y());
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 8000)) << "the menu did not play";

  // ---- Next and previous episode ask the service for the neighbours.
  std::size_t before = resource_requests();
  const Box next = places.transport(7);
  x.click(next.center_x(), next.center_y());
  EXPECT_TRUE(wait_until([&] { return resource_requests() > before; }, 10000));
  EXPECT_NE(resource_queries_since(before).find("v1=2 "), std::string::npos)
      << resource_queries_since(before);
  before = resource_requests();
  const Box previous = places.transport(5);
  x.click(previous.center_x(), previous.center_y());
  EXPECT_TRUE(wait_until([&] { return resource_requests() > before; }, 10000));
  EXPECT_NE(resource_queries_since(before).find("v1=1 "), std::string::npos)
      << resource_queries_since(before);
  ASSERT_TRUE(wait_until([&] { return picture_plays(); }, 30000));
  // Previous on the first episode asks nothing and says so on the status line.
  const Box status_bar = places.in_player(places.area().status_bar);
  const Box status_text{status_bar.x + 13, status_bar.y + 2, 200, status_bar.height - 4};
  const Shot playing_status = x.grab(status_text);
  before = resource_requests();
  x.click(previous.center_x(), previous.center_y());
  EXPECT_TRUE(
      wait_until([&] { return x.grab(status_text).differences(playing_status) > 40; }, 3000))
      << "nothing said on the first episode";

  // ---- Full screen and back, by Escape and by a double click.
  const Box full_screen = places.transport(3);
  const Box normal = window_box();
  x.click(full_screen.center_x(), full_screen.center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width == x.screen_width(); }, 5000))
      << "full screen gave " << window_box().width << "x" << window_box().height;
  pause_ms(500);
  shot("full-screen", Box{0, 0, x.screen_width(), x.screen_height()});
  x.key(XK_Escape);
  EXPECT_TRUE(wait_until([&] { return window_box() == normal; }, 5000));
  x.click(full_screen.center_x(), full_screen.center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width == x.screen_width(); }, 5000));
  x.double_click(x.screen_width() / 2, x.screen_height() / 2);
  EXPECT_TRUE(wait_until([&] { return window_box() == normal; }, 5000));

  // ---- Stop saves the position; the history page plays it again from there, and deletes it.
  ASSERT_TRUE(wait_until([&] { return picture_moves(); }, 30000));
  x.click(seek.x + seek.width / 2, seek.center_y());
  pause_ms(2500);  // the status monitor reads the new position
  const Box stop = places.transport(1);
  x.click(stop.center_x(), stop.center_y());
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000));
  const std::string list = home_file("date.dat");
  EXPECT_EQ(list.find("|0\r\n"), std::string::npos) << "no position saved: " << list;

  const Box history_tab = places.in_side_panel(places.inside().history);
  x.click(history_tab.center_x(), history_tab.center_y());
  const Box pane = places.list_pane();
  pause_ms(1500);
  shot("history", pane);
  x.click(pane.x + 40, pane.y + 10);  // the newest entry's title
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 30000))
      << "the history entry did not play";
  // Resumed where it stopped: the newest record's last field is its position in seconds (of the
  // 24-second clip), and the thumb comes back to at least that share of the bar.
  const std::string first_record = list.substr(0, list.find("\r\n"));
  const int saved = std::atoi(first_record.substr(first_record.rfind('|') + 1).c_str());
  ASSERT_GT(saved, 1) << first_record;
  const int resumed_at = (seek.width - 8) * saved / 24 - 12;
  EXPECT_TRUE(wait_until([&] { return seek_thumb() >= resumed_at; }, 5000))
      << "not resumed from " << saved << " s: thumb at " << seek_thumb() << ", expected "
      << resumed_at;

  const auto records = [&] {
    const std::string text = home_file("date.dat");
    return std::count(text.begin(), text.end(), '|');
  };
  const auto before_delete = records();
  // Playing an entry shows the now-playing list: back to the history page.
  x.click(history_tab.center_x(), history_tab.center_y());
  pause_ms(1500);
  x.click(pane.x + pane.width - 6, pane.y + 9);  // the newest entry's delete icon
  EXPECT_TRUE(wait_until([&] { return records() < before_delete; }, 10000))
      << before_delete << " records before: " << home_file("date.dat");

  // ---- The other sub-tabs show their lists.
  // Both lists may read "暂无记录" alike by now: the selected sub-tab's own picture tells which
  // list is on view, and the pane must show a page (not stay blank).
  for (const Rect& sub : {places.inside().local_list, places.inside().now_playing}) {
    const Box tab = places.in_side_panel(sub);
    const Shot tab_before = x.grab(tab);
    x.click(tab.center_x(), tab.center_y());
    const bool selected =
        wait_until([&] { return x.grab(tab).differences(tab_before) > 30; }, 5000);
    EXPECT_TRUE(selected) << "sub-tab at " << tab.x << "," << tab.y << " not selected";
    if (!selected) shot("sub-tab-unselected-" + std::to_string(tab.x), places.window);
    const auto shows_a_page = [&] {
      const Shot list_now = x.grab(pane);
      const Rgb ground = list_now.at(pane.x + 2, pane.y + pane.height - 2);
      int marks = 0;
      for (int y = pane.y; y < pane.y + pane.height; ++y) {
        for (int at = pane.x; at < pane.x + pane.width; ++at) {
          if (!list_now.at(at, y).near(ground, 40)) ++marks;
        }
      }
      return marks > 30;
    };
    EXPECT_TRUE(wait_until(shows_a_page, 5000)) << "the list pane stays blank";
  }

  // ---- The side panel by the transport button: the player takes the panel's room and back.
  const Box side = places.transport(8);
  x.click(side.center_x(), side.center_y());
  places.side_panel = false;
  pause_ms(800);
  EXPECT_TRUE(wait_until([&] { return seek_thumb() >= 0; }, 3000));
  x.click(side.center_x(), side.center_y());
  places.side_panel = true;
  pause_ms(800);

  // ---- The same by the 3-pixel toggle over the panel's left edge, and back from where the
  // toggle sits while the panel is hidden.
  const Box panel_list = places.list_pane();
  const Shot with_panel = x.grab(panel_list);
  const Box toggle = places.in_zz(places.split().toggle);
  x.click(toggle.center_x(), toggle.center_y());
  EXPECT_TRUE(wait_until([&] { return x.grab(panel_list).differences(with_panel) > 200; }, 5000))
      << "the toggle did not hide the side panel";
  places.side_panel = false;
  const Shot without_panel = x.grab(panel_list);
  const Box toggle_hidden = places.in_zz(places.split().toggle);
  x.click(toggle_hidden.center_x(), toggle_hidden.center_y());
  places.side_panel = true;
  EXPECT_TRUE(wait_until([&] { return x.grab(panel_list).differences(without_panel) > 200; }, 5000))
      << "the toggle did not show the side panel again";

  // ---- Open a local file: the dialog takes the typed path, the clip plays and is listed.
  const std::string clip = folder.file("clips/local-clip.mp4");
  fs::copy_file(media + "/p102-s1-e01.mp4", clip);
  const Box open = places.transport(4);
  x.click(open.center_x(), open.center_y());
  ASSERT_TRUE(await_window("选择播放文件", 10000).has_value()) << "no file dialog";
  pause_ms(500);
  x.type(clip);
  x.key(XK_Return);
  EXPECT_TRUE(
      wait_until([&] { return home_file("date_f.dat").find(clip) != std::string::npos; }, 10000));
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 30000)) << "the local file did not play";

  // ---- A second start hands its file to this window and ends.
  Child second;
  const std::string third = media + "/p101-s1-e03.mp4";
  ASSERT_TRUE(second.start({PELMORA_PROGRAM, "--home", folder.file("second"), third}, environment(),
                           folder.file("second.log")));
  ASSERT_TRUE(second.wait_exit(60000));
  EXPECT_EQ(second.exit_code(), 0);
  EXPECT_TRUE(
      wait_until([&] { return home_file("date_f.dat").find(third) != std::string::npos; }, 10000));

  // ---- Search by typing: a click into the box clears its prompt; Enter searches.
  const Box search = places.search_text();
  x.click(search.center_x(), search.center_y());
  // (A space typed into the search word must not pause the film playing meanwhile.)
  x.type("Harbour Lights");
  shot("search-typed", places.on_screen({places.W() - 280, 60, 280, 40}));
  x.key(XK_Return);
  EXPECT_TRUE(wait_until([&] { return searched("Harbour Lights"); }, 10000))
      << "no search arrived: "
      << (demo->seen().searches.empty() ? "none" : demo->seen().searches.back());
  // Chinese typed on a layout that has it, pasted by Ctrl+V and by a middle click, arrives whole.
  const auto search_for = [&](const std::function<void()>& enter_text, const std::string& word) {
    x.click(search.center_x(), search.center_y());
    control_key(x.display(), XK_a);
    x.key(XK_BackSpace);
    enter_text();
    x.key(XK_Return);
    EXPECT_TRUE(wait_until([&] { return searched(word); }, 10000))
        << word << " did not arrive whole: "
        << (demo->seen().searches.empty() ? "none" : demo->seen().searches.back());
  };
  search_for([&] { type_bound(x.display(), U"山海"); }, "山海");
  // The owner answers until the search arrived; the selection's owner comes after Ctrl+A, which
  // makes the search box the selection's owner.
  std::optional<SelectionOwner> owner;
  search_for(
      [&] {
        owner.emplace(x.name(), "星夜列车");
        control_key(x.display(), XK_v);
      },
      "星夜列车");
  search_for(
      [&] {
        owner.reset();
        owner.emplace(x.name(), "海港");
        x.click(search.center_x(), search.center_y(), 2);
      },
      "海港");
  owner.reset();
  // The keys act on the player again once the user clicks elsewhere in the window.
  x.click(places.on_screen(tabs.playback).center_x(), places.on_screen(tabs.playback).center_y());
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 5000));
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return !picture_moves(); }, 5000)) << "Space did not pause";
  x.key(XK_space);
  EXPECT_TRUE(wait_until([&] { return picture_plays(); }, 8000)) << "Space did not play";

  // ---- Full screen by a double click on the picture; at the bottom the transport bar comes up
  // over it and answers, and goes after two seconds of stillness; a double click leaves.
  const Box windowed = window_box(), screen{0, 0, x.screen_width(), x.screen_height()};
  const Box bar{(screen.width - places.foot().width) / 2, screen.height - places.foot().height,
                places.foot().width, places.foot().height};
  x.double_click(places.picture().center_x(), places.picture().center_y());
  EXPECT_TRUE(wait_until([&] { return window_box() == screen; }, 10000)) << "no full screen";
  x.move(screen.width / 2, screen.height - 4);
  EXPECT_TRUE(wait_until([&] { return orange_in(bar) > 20; }, 3000)) << "no bar at the bottom";
  shot("full-screen-bar", screen);
  const Box middle{screen.width / 2 - 100, screen.height / 2 - 100, 200, 200};
  const auto still = [&] {
    const Shot earlier = x.grab(middle);
    pause_ms(500);
    return x.grab(middle).differences(earlier) < 10;
  };
  x.click(bar.x + places.area().play_pause.left + 8, bar.y + places.area().play_pause.top + 8);
  EXPECT_TRUE(wait_until(still, 3000)) << "the bar's pause did not pause";
  EXPECT_TRUE(x.pointer_shown());
  pause_ms(2600);
  EXPECT_LT(orange_in(bar), 5) << "the bar stayed after two seconds of stillness";
  EXPECT_FALSE(x.pointer_shown()) << "the pointer stayed after two seconds of stillness";
  x.double_click(screen.width / 2, screen.height / 2);
  EXPECT_TRUE(wait_until([&] { return window_box() == windowed; }, 5000)) << "still full screen";

  // ---- Compact mode and back by its close label.
  const Box compact = places.on_screen(places.row().compact);
  x.click(compact.center_x(), compact.center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width < 450; }, 5000))
      << window_box().width << "x" << window_box().height;
  pause_ms(800);
  shot("compact");
  const Box small = window_box();
  x.click(small.x + small.width - 19, small.y + 9);  // the "x" label
  EXPECT_TRUE(wait_until([&] { return window_box().width > 700; }, 5000));
  refresh_places();

  // ---- The pin: its picture changes and changes back.
  const Box pin = places.on_screen(places.row().pin);
  x.move(pin.center_x(), pin.y + 150);
  const Shot unpinned = x.grab(pin);
  x.click(pin.center_x(), pin.center_y());
  x.move(pin.center_x(), pin.y + 150);
  EXPECT_TRUE(wait_until([&] { return x.grab(pin).differences(unpinned) > 10; }, 3000));
  x.click(pin.center_x(), pin.center_y());
  x.move(pin.center_x(), pin.y + 150);
  EXPECT_TRUE(wait_until([&] { return x.grab(pin).differences(unpinned) < 10; }, 3000));

  // ---- Dragging the free surface moves the window; the border resizes it and saves the size.
  Box before_drag = window_box();
  x.drag(before_drag.x + 500, before_drag.y + 15, before_drag.x + 440, before_drag.y + 55);
  EXPECT_TRUE(wait_until(
      [&] { return window_box().x == before_drag.x - 60 && window_box().y == before_drag.y + 40; },
      3000))
      << window_box().x << "," << window_box().y << " from " << before_drag.x << ","
      << before_drag.y;
  refresh_places();
  const Box before_resize = window_box();
  x.drag(before_resize.x + before_resize.width - 1, before_resize.y + 300,
         before_resize.x + before_resize.width + 79, before_resize.y + 300);
  EXPECT_TRUE(wait_until([&] { return window_box().width == before_resize.width + 80; }, 3000))
      << window_box().width;
  EXPECT_TRUE(
      wait_until([&] { return setting("h_w") == std::to_string(window_box().width * 15); }, 3000))
      << setting("h_w");
  refresh_places();

  // ---- The settings dialog from the main menu: each page, a switch, OK.
  const Box menu_button = places.on_screen(places.row().menu);
  x.click(menu_button.center_x(), menu_button.center_y());
  ASSERT_TRUE(wait_until([&] { return popup_menu().has_value(); }, 5000)) << "no main menu";
  const std::vector<Box> entries = menu_entries(*popup_menu());
  ASSERT_GE(entries.size(), 6u);
  x.click(entries[0].center_x(), entries[0].center_y());  // 软件设置
  const std::optional<Box> settings = await_window("软件设置");
  ASSERT_TRUE(settings.has_value());
  const Box dialog = *settings;
  std::map<int, Shot> page_shots;
  for (int page : {0, 2, 1}) {
    const Box body{dialog.x + 16, dialog.y + 40, 298, 218};
    const Shot before_page = x.grab(body);
    x.click(dialog.x + 16 + page * 106 + 52, dialog.y + 8 + 15);
    EXPECT_TRUE(wait_until([&] { return x.grab(body).differences(before_page) > 50; }, 3000))
        << "page " << page << " did not show";
    pause_ms(300);
    page_shots[page] = x.grab(body);
    shot("settings-page-" + std::to_string(page), dialog);
  }
  const std::string saved_size_switch = setting("s_size");
  x.click(dialog.x + 16 + 20 + 8, dialog.y + 40 + 102 + 10);  // 保存软件界面大小
  x.click(dialog.x + 100 + 35, dialog.y + 268 + 12);          // 确定
  EXPECT_TRUE(window_gone("软件设置"));
  EXPECT_NE(setting("s_size"), saved_size_switch);
  EXPECT_FALSE(fs::exists(folder.file("shutdown-requested")));

  // ---- The main menu's other entries (its web-site entry would start a browser: left out).
  const auto choose_from_menu = [&](std::size_t index) {
    x.click(menu_button.center_x(), menu_button.center_y());
    ASSERT_TRUE(wait_until([&] { return popup_menu().has_value(); }, 5000)) << "no main menu";
    const std::vector<Box> items = menu_entries(*popup_menu());
    ASSERT_GT(items.size(), index);
    x.click(items[index].center_x(), items[index].center_y());
  };
  // 关于我们: the settings dialog opened on its about page, closed by 确定.
  choose_from_menu(1);
  {
    const std::optional<Box> about_dialog = await_window("软件设置");
    ASSERT_TRUE(about_dialog.has_value());
    const Box about = *about_dialog;
    const Box body{about.x + 16, about.y + 40, 298, 218};
    EXPECT_TRUE(wait_until([&] { return x.grab(body).differences(page_shots.at(0)) < 50; }, 3000))
        << "the dialog did not open on its about page";
    x.click(about.x + 100 + 35, about.y + 268 + 12);  // 确定
    EXPECT_TRUE(window_gone("软件设置"));
  }
  // 帮助提示: the tips window turns to its next page and closes by its button.
  choose_from_menu(3);
  {
    const std::optional<Box> tips_window = await_window("帮助提示");
    ASSERT_TRUE(tips_window.has_value());
    const Box tips = *tips_window;
    const Box hints{tips.x + 8, tips.y + 32, 340, 90};
    pause_ms(300);
    const Shot first_page = x.grab(hints);
    x.click(tips.x + 184 + 40, tips.y + 128 + 13);  // 下一条
    EXPECT_TRUE(wait_until([&] { return x.grab(hints).differences(first_page) > 50; }, 3000))
        << "the tips did not turn";
    shot("tips", tips);
    x.click(tips.x + 272 + 40, tips.y + 128 + 13);  // 关闭
    EXPECT_TRUE(window_gone("帮助提示"));
  }
  // 升级检测: the demo service offers the program's own version, so a message says there is
  // nothing to update; its one button closes it.
  choose_from_menu(4);
  {
    const std::optional<Box> message_window = await_window("提示：");
    ASSERT_TRUE(message_window.has_value()) << "no update message";
    const Box message = *message_window;
    shot("update-message", message);
    const std::vector<Box> ok = dialog_buttons(message, 1);
    ASSERT_EQ(ok.size(), 1u) << "no button on the update message";
    x.click(ok[0].center_x(), ok[0].y + 8);
    EXPECT_TRUE(window_gone("提示："));
  }

  // ======== The TV and music pages, the update check and the error panel ========
  // ---- A TV channel and a music track play in their pane, as the service's pages make them.
  for (const Rect& tab : {tabs.tv, tabs.music}) {
    x.click(places.on_screen(tab).center_x(), places.on_screen(tab).center_y());
    std::optional<std::pair<int, int>> entry;
    ASSERT_TRUE(wait_until(
        [&] {
          return (entry = button_of_colour(x, places.catalogue(), kEpisodeButton)).has_value();
        },
        15000))
        << "no channel or track to click";
    x.click(entry->first, entry->second);
    EXPECT_TRUE(wait_until([&] { return box_moves(x, places.catalogue()); }, 20000))
        << "nothing plays in the pane of the tab at x " << tab.left;
    shot(tab.left == tabs.tv.left ? "tv-channel" : "music-track");
  }
  x.click(places.on_screen(tabs.library).center_x(), places.on_screen(tabs.library).center_y());

  // ---- 升级检测 reads the update file again: without a service it says something other than
  // "the latest".
  const auto message_of_manual_check =
      [&](const std::string& name) -> std::optional<std::pair<Box, Shot>> {
    choose_from_menu(4);
    const std::optional<Box> message = await_window("提示：");
    if (!message) return std::nullopt;
    pause_ms(300);
    const Shot seen = x.grab(*message);
    shot(name, *message);
    const std::vector<Box> ok = dialog_buttons(*message, 1);
    if (ok.size() == 1) x.click(ok[0].center_x(), ok[0].y + 8);
    EXPECT_TRUE(window_gone("提示："));
    return std::pair{*message, seen};
  };
  const auto latest = message_of_manual_check("update-latest");
  ASSERT_TRUE(latest.has_value()) << "no message from the manual check";
  const int port = demo->port();
  demo->stop();
  const auto unreachable = message_of_manual_check("update-unreachable");
  ASSERT_TRUE(unreachable.has_value()) << "no message from the manual check without a service";
  EXPECT_TRUE(!(unreachable->first == latest->first) ||
              unreachable->second.differences(latest->second) > 100)
      << "without a service the manual check says what it says when nothing is newer";

  // ---- The catalogue without its service: the error panel shows all of its lines, the address
  // it tried among them; once the service is back, a click on "3.请点此尝试重新连接" brings the
  // catalogue back.
  x.click(places.search_text().center_x(), places.search_text().center_y());
  x.type("x");
  x.key(XK_Return);
  const Rect image = layout::waiting_panel(places.catalogue().width, places.catalogue().height,
                                           {0, 0, 32, 32}, {0, 0, 0, 0})
                         .image;
  const Box below_image{places.catalogue().x, places.catalogue().y + image.top + image.height + 2,
                        places.catalogue().width,
                        places.catalogue().height - image.top - image.height - 2};
  constexpr Rgb kWhite{0xFF, 0xFF, 0xFF};
  std::vector<TextLine> lines;
  // "Error！出错了", the four hints, the address and the three lines that say where to set another.
  EXPECT_TRUE(
      wait_until([&] { return (lines = text_lines(x, below_image, kWhite)).size() >= 9; }, 20000))
      << lines.size() << " lines of the error panel show";
  shot("error-panel");
  ASSERT_GE(lines.size(), 4u);
  service::ServiceOptions options;
  options.media_folder = media;
  demo = std::make_unique<service::DemoService>(options);
  ASSERT_TRUE(demo->start(port));
  const TextLine& retry = lines[3];
  x.click(retry.left + 30, (retry.top + retry.bottom) / 2);
  EXPECT_TRUE(wait_until([&] { return first_episode_button().has_value(); }, 20000))
      << "the retry hint did not bring the catalogue back";

  // ---- Dialogs open centred on the window with the keys theirs at once (no window manager
  // hands them over here): Escape cancels, Enter is OK; the free surface drags them.
  const auto centred = [&](const Box& opened_at) {
    return std::abs(opened_at.center_x() - window_box().center_x()) <= 2 &&
           std::abs(opened_at.center_y() - window_box().center_y()) <= 2;
  };
  for (const auto& [entry, title] : {std::pair{0, "软件设置"}, std::pair{3, "帮助提示"}}) {
    choose_from_menu(entry);
    ASSERT_TRUE(await_window(title).has_value());
    EXPECT_TRUE(centred(*await_window(title))) << title << " not centred";
    pause_ms(300);
    x.key(XK_Escape);
    EXPECT_TRUE(window_gone(title)) << "Escape did not close " << title;
  }
  choose_from_menu(0);
  const Box opened = await_window("软件设置").value_or(Box{});
  x.drag(opened.x + 8, opened.y + 150, opened.x + 48, opened.y + 180);
  const Box moved{opened.x + 40, opened.y + 30, opened.width, opened.height};
  EXPECT_TRUE(wait_until([&] { return await_window("软件设置") == moved; }, 3000)) << "no drag";
  const std::string size_switch = setting("s_size");
  x.click(moved.x + 16 + 20 + 8, moved.y + 40 + 102 + 10);  // 保存软件界面大小
  x.key(XK_Return);
  EXPECT_TRUE(window_gone("软件设置"));
  EXPECT_NE(setting("s_size"), size_switch) << "Enter did not keep the switch";

  // ---- Maximise and restore without a window manager, then the border cannot make the window
  // smaller than its layout needs.
  const Box restored = window_box();
  x.click(places.on_screen(places.row().maximise).center_x(), restored.y + 16);
  EXPECT_TRUE(wait_until([&] { return window_box() == screen; }, 5000)) << "not maximised";
  x.click(layout::caption_row(screen.width).maximise.left + 12, 16);  // now restore
  EXPECT_TRUE(wait_until([&] { return window_box() == restored; }, 5000)) << "not restored";
  x.drag(restored.x + restored.width - 1, restored.y + 300, restored.x + 100, restored.y + 300);
  x.drag(restored.x + 300, restored.y + restored.height - 1, restored.x + 300, restored.y + 50);
  EXPECT_TRUE(wait_until([&] { return window_box().width == 730; }, 3000)) << window_box().width;
  EXPECT_EQ(window_box().height, 467);

  // ---- A file dragged from a file manager onto the history pane plays as if opened, and a
  // link dropped on the picture plays too.
  refresh_places();
  x.click(places.on_screen(tabs.playback).center_x(), places.on_screen(tabs.playback).center_y());
  const std::string dropped = folder.file("clips/dropped clip.mp4");
  fs::copy_file(media + "/p101-s1-e02.mp4", dropped);
  XdndSource source(x.name());
  const Box history_pane = places.list_pane();
  EXPECT_TRUE(source.drop(main_window()->id, history_pane.center_x(), history_pane.center_y(),
                          "file://" + folder.file("clips/dropped%20clip.mp4") + "\r\n"))
      << "the window refused the drop";
  EXPECT_TRUE(wait_until([&] { return home_file("date_f.dat").find(dropped) != std::string::npos; },
                         10000));
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 30000))
      << "the dropped file did not play";
  const std::string link = demo->base_url() + "media/p102-s1-e01.mp4";
  EXPECT_TRUE(source.drop(main_window()->id, places.picture().center_x(),
                          places.picture().center_y(), link + "\r\n"));
  EXPECT_TRUE(
      wait_until([&] { return home_file("date_f.dat").find(link) != std::string::npos; }, 10000));
  EXPECT_TRUE(wait_until([&] { return picture_moves(); }, 30000))
      << "the dropped link did not play";

  // ---- Shutdown after playback, armed from its menu: the end of the item brings a notice that
  // counts down; its cancel button disarms it and nothing is shut down.
  const Box shutdown_button = places.transport(6);
  x.click(shutdown_button.center_x(), shutdown_button.center_y());
  ASSERT_TRUE(wait_until([&] { return popup_menu(30).has_value(); }, 5000)) << "no shutdown menu";
  const std::vector<Box> arm = menu_entries(*popup_menu(30));
  ASSERT_EQ(arm.size(), 2u);
  x.click(arm[0].center_x(), arm[0].center_y());  // 开启播放完自动关机
  const Box seek_now = places.seek_bar();
  x.click(seek_now.x + seek_now.width * 17 / 20, seek_now.center_y());
  const std::optional<Box> notice = await_window("计划关机", 40000);
  ASSERT_TRUE(notice.has_value()) << "no shutdown notice at the end of the item";
  pause_ms(1500);
  shot("shutdown-notice", *notice);
  x.click(notice->x + 160, notice->y + 88);  // 取消关机
  EXPECT_TRUE(window_gone("计划关机"));
  pause_ms(1500);
  EXPECT_FALSE(fs::exists(folder.file("shutdown-requested")));

  EXPECT_TRUE(program.running()) << "the program ended during the session";
}

// Under a window manager: maximise by the button and by a double click, minimise, the close
// question answered by clicking, and the end of the program from its menu.
TEST_F(DesktopByHand, TheFrameUnderAWindowManager) {
  ASSERT_TRUE(x.start_window_manager());
  start_program();

  // Full screen, Escape, then a later start hands a file over: the window stays as it was.
  const auto hand_over = [&](const std::string& clip) {
    Child later;
    ASSERT_TRUE(later.start({PELMORA_PROGRAM, "--home", folder.file("later"), media + clip},
                            environment(), folder.file("later.log")));
    ASSERT_TRUE(later.wait_exit(60000));
    ASSERT_TRUE(wait_until([&] { return refresh_places(), picture_plays(); }, 30000));
  };
  hand_over("/p101-s1-e02.mp4");
  const Box start = window_box();
  x.double_click(places.picture().center_x(), places.picture().center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width == x.screen_width(); }, 10000))
      << "a double click on the picture gave no full screen";
  x.key(XK_Escape);
  EXPECT_TRUE(wait_until([&] { return window_box() == start; }, 5000)) << "Escape did not leave";
  hand_over("/p101-s1-e03.mp4");
  EXPECT_EQ(window_box(), start);
  EXPECT_FALSE(x.has_state(main_window()->id, "_NET_WM_STATE_FULLSCREEN"));
  x.key(XK_space);  // paused, the player leaves the window manager's drags their time
  pause_ms(1500);

  const Box maximise = places.on_screen(places.row().maximise);
  x.click(maximise.center_x(), maximise.center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width == x.screen_width(); }, 5000));
  refresh_places();
  const Box restore = places.on_screen(places.row().maximise);
  x.click(restore.center_x(), restore.center_y());
  EXPECT_TRUE(wait_until([&] { return window_box().width == start.width; }, 5000));
  refresh_places();
  // A double click on the free surface maximises too, and back.
  x.double_click(start.x + 500, start.y + 15);
  EXPECT_TRUE(wait_until([&] { return window_box().width == x.screen_width(); }, 5000));
  x.double_click(500, 15);
  EXPECT_TRUE(wait_until([&] { return window_box().width == start.width; }, 5000));
  refresh_places();

  // Drag and border resize through the window manager.
  Box before = window_box();
  x.drag(before.x + 500, before.y + 15, before.x + 420, before.y + 75);
  // The window manager takes the move over from the pointer a step or two into the drag (the
  // first moves reach the program, which hands the move over).
  EXPECT_TRUE(wait_until(
      [&] {
        return std::abs(window_box().x - (before.x - 80)) <= 16 &&
               std::abs(window_box().y - (before.y + 60)) <= 16;
      },
      5000))
      << window_box().x << "," << window_box().y << " from " << before.x << "," << before.y;
  refresh_places();
  before = window_box();
  x.drag(before.x + before.width - 1, before.y + 300, before.x + before.width + 59, before.y + 300);
  EXPECT_TRUE(
      wait_until([&] { return std::abs(window_box().width - (before.width + 60)) <= 12; }, 5000))
      << window_box().width;
  // Far in, the window manager holds the least size the layout needs.
  before = window_box();
  x.drag(before.x + before.width - 1, before.y + 300, before.x + 100, before.y + 300);
  x.drag(before.x + 300, before.y + before.height - 1, before.x + 300, before.y + 50);
  EXPECT_TRUE(wait_until([&] { return window_box().width == 730; }, 5000)) << window_box().width;
  EXPECT_TRUE(wait_until([&] { return window_box().height == 467; }, 5000)) << window_box().height;
  refresh_places();
  // The layout follows the new size: the close button sits 32 pixels from the right edge.
  const Box close = places.on_screen(places.row().close);
  x.move(close.center_x(), close.center_y());
  x.move(close.center_x() + 1, close.center_y());
  const Box close_label{close.x - 5, close.y + close.height + 3, 30, 14};
  EXPECT_TRUE(wait_until(
      [&] {
        return x.grab(close_label).differences(x.grab(close_label)) == 0 &&
               !x.pixel(close_label.x + 8, close_label.y + 8)
                    .near(x.pixel(close_label.x + 8, close_label.y + 40), 8);
      },
      3000));

  // Minimise, and back as the task bar brings it.
  const Window id = main_window()->id;
  const Box minimise = places.on_screen(places.row().minimise);
  x.click(minimise.center_x(), minimise.center_y());
  EXPECT_TRUE(wait_until([&] { return !main_window().has_value(); }, 5000)) << "not minimised";
  x.activate(id);
  ASSERT_TRUE(wait_until([&] { return main_window().has_value(); }, 5000));

  // The close question dismissed by Escape: the window stays, nothing is kept, it comes again.
  x.click(close.center_x(), close.center_y());
  ASSERT_TRUE(await_window("提示：").has_value()) << "no close question";
  pause_ms(300);
  x.key(XK_Escape);
  EXPECT_TRUE(window_gone("提示："));
  EXPECT_TRUE(main_window().has_value() && program.running()) << "Escape closed the window";
  EXPECT_EQ(setting("ts"), "3");

  // Asked again, answered by Enter (Yes, its default): the window goes (no tray here: it
  // minimises) and the answer is kept.
  x.click(close.center_x(), close.center_y());
  const std::optional<Box> question_window = await_window("提示：");
  ASSERT_TRUE(question_window.has_value()) << "no close question";
  const Box question = *question_window;
  shot("close-question", question);
  EXPECT_EQ(dialog_buttons(question, 2).size(), 2u) << "no Yes and No buttons found";
  x.key(XK_Return);
  EXPECT_TRUE(wait_until([&] { return !main_window().has_value(); }, 5000));
  EXPECT_TRUE(wait_until([&] { return setting("quit") == "2"; }, 3000)) << setting("quit");
  EXPECT_EQ(setting("ts"), "1");
  x.activate(id);
  ASSERT_TRUE(wait_until([&] { return main_window().has_value(); }, 5000));
  refresh_places();

  // The wheel over the volume bar, to see the volume kept across starts.
  x.click(places.on_screen(places.tabs().playback).center_x(),
          places.on_screen(places.tabs().playback).center_y());
  pause_ms(500);
  const int full_volume = volume_fill();
  for (int notch = 0; notch < 4; ++notch) {
    x.click(places.volume_bar().center_x(), places.volume_bar().center_y(), 5);
  }
  EXPECT_TRUE(wait_until([&] { return volume_fill() < full_volume - 8; }, 3000));
  const int kept_volume = volume_fill();
  // Back wholly onto the screen (the drag above may have left it partly off it), then kept.
  const Box off = window_box();
  x.drag(off.x + 500, off.y + 15, off.x + 640, off.y + 35);
  EXPECT_TRUE(wait_until([&] { return window_box().x > off.x + 100; }, 5000));
  refresh_places();
  const Box kept_place = window_box();

  // The program ends from its main menu's last entry (退出软件).
  const Box menu_button = places.on_screen(places.row().menu);
  x.click(menu_button.center_x(), menu_button.center_y());
  ASSERT_TRUE(wait_until([&] { return popup_menu().has_value(); }, 5000));
  const std::vector<Box> entries = menu_entries(*popup_menu());
  ASSERT_GE(entries.size(), 6u);
  x.click(entries.back().center_x(), entries.back().center_y());
  EXPECT_TRUE(program.wait_exit(30000)) << "the program did not end";
  EXPECT_FALSE(fs::exists(folder.file("shutdown-requested")));

  // The next start opens where the window was, at the volume it had.
  EXPECT_EQ(setting("vol"), "80");
  EXPECT_EQ(setting("mute"), "1");
  start_program();
  EXPECT_EQ(window_box(), kept_place);
  x.click(places.on_screen(places.tabs().playback).center_x(),
          places.on_screen(places.tabs().playback).center_y());
  EXPECT_TRUE(wait_until([&] { return volume_fill() == kept_volume; }, 3000))
      << volume_fill() << " after the start, " << kept_volume << " before";
}

}  // namespace
}  // namespace pelmora::window_test
