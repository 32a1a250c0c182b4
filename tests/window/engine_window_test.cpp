// The player's episodes through the download engine in the real window: a press
// on a catalogue episode plays it through the engine's terminal (a real
// process, started by the program from its player folder) fed by the demo
// service's tracker, metadata and web seed; past 601 thousandths the next
// episode is handed to the engine, downloaded ahead into the download folder
// and played from there when the first one ends.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QtCore/QPoint>
#include <QtCore/QProcess>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "demo_service.h"
#include "desktop_program.h"
#include "engine_client/engine_stream_player.h"
#include "platform/browser/web_pane.h"
#include "platform/headless/recorders.h"
#include "platform/headless/scripted_dialogs.h"
#include "platform/player/mpv_player.h"
#include "playback/session.h"
#include "support/started_processes.h"
#include "support/temp_folder.h"
#include "window_harness.h"

// The browser engine inside Qt WebEngine (in this test's own process) frees memory in ways
// AddressSanitizer misreads and keeps caches until exit; the program's own code stays checked.
extern "C" const char* __asan_default_options() {
  return "new_delete_type_mismatch=0:detect_leaks=0";
}

namespace pelmora::platform::qt {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TempFolder;
using platform::PlayState;
using platform::qt::EngineStreamPlayer;

// ---- For every test of this program ----

// The engine's terminals a test started (through the program) end with the
// test: a terminal otherwise keeps running and sharing after the window has
// gone, as it should for a user.
void end_own_terminals() {
  std::vector<pid_t> ours;
  for (const pelmora::testing::OwnProcess& process : pelmora::testing::own_processes()) {
    if (process.parent == ::getpid() && process.exe.filename() == "QvodTerminal.exe") {
      ours.push_back(process.pid);
    }
  }
  pelmora::testing::end_processes(ours);
}

// Every test of this program finds the build's engine terminal, and whatever
// the engine downloads by default lands in a home folder of the test's own,
// never in the user's.
class EngineForEveryTest final : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    ::setenv("PELMORA_ENGINE_PROGRAM", PELMORA_ENGINE_TERMINAL, 1);
    home_ = std::make_unique<TempFolder>();
    ::setenv("HOME", home_->path().c_str(), 1);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    end_own_terminals();
    home_.reset();
  }
  std::unique_ptr<TempFolder> home_;
};

const bool kEngineForEveryTest = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new EngineForEveryTest);
  return true;
}();

// ---- The window ----

using pelmora::testing::window::application;
using pelmora::testing::window::demo_media;
using pelmora::testing::window::ensure_display;
using pelmora::testing::window::wait_for;

std::string whole_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class EngineWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ensure_display()) GTEST_SKIP() << "no display and no Xvfb to make one";
    if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is missing";
    media = demo_media();
    if (media.empty()) GTEST_SKIP() << "the demo clips cannot be made (ffmpeg missing?)";
    fs::create_directories(folder.file("run"));
    fs::permissions(folder.file("run"), fs::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", folder.file("run").c_str(), 1);
    // The download folder, set as the settings dialog would set it.
    fs::create_directories(folder.file("home/Qvod"));
    folder.write("home/Qvod/QvodPlayer.xml", "<QvodPlayer>\r\n<Download Defaultsavepath=\"" +
                                                 downloads() + "\"/>\r\n</QvodPlayer>\r\n");
    service::ServiceOptions options;
    options.media_folder = media;
    demo = std::make_unique<service::DemoService>(options);
    ASSERT_TRUE(demo->start());
    ::setenv("PELMORA_SERVICE_URL", demo->base_url().c_str(), 1);
    application();
    program = std::make_unique<DesktopProgram>(
        DesktopProgram::Options{folder.file("home"), "", &dialogs, &power});
    ASSERT_TRUE(program->start());
    ASSERT_TRUE(wait_for([&] { return ba1().Pic1.visible(); }, 30000));
  }
  void TearDown() override {
    program.reset();
    QApplication::processEvents();
    demo.reset();
  }

  app::BA1& ba1() { return program->main_window(); }
  // The player the program holds (engine addresses, the engine's readings) and the one on
  // libmpv behind it (the stream, the frames drawn).
  EngineStreamPlayer& streams() {
    return *dynamic_cast<EngineStreamPlayer*>(ba1().session().player());
  }
  MpvPlayer& player() { return dynamic_cast<MpvPlayer&>(streams().player()); }
  std::string downloads() const { return folder.file("downloads") + "/"; }
  int frames() { return player().frames_shown(); }
  bool playing() { return streams().play_state() == PlayState::kPlaying && frames() > 0; }
  std::string why() {
    return ba1().zhun.caption() + " / " + player().last_error() + " / " + streams().media_address();
  }

  // Presses the first link of the catalogue whose address begins with `prefix`,
  // through the X server at the place the link has on the screen.
  void press_link(const std::string& prefix) {
    auto* view = dynamic_cast<WebPanePeer*>(ba1().Web1.peer())->view();
    QPoint at(-1, -1);
    const QString script = QString(
                               "(() => { const a = document.querySelector('a[href^=\"%1\"]');"
                               " a.scrollIntoView({block: 'center'}); const r = "
                               "a.getBoundingClientRect();"
                               " return [Math.round(r.left + r.width / 2), Math.round(r.top + "
                               "r.height / 2),"
                               " window.devicePixelRatio]; })()")
                               .arg(QString::fromStdString(prefix));
    view->page()->runJavaScript(script, [&](const QVariant& result) {
      const QVariantList place = result.toList();
      if (place.size() == 3) at = QPoint(place[0].toInt(), place[1].toInt());
    });
    ASSERT_TRUE(wait_for([&] { return at.x() >= 0; }, 10000)) << "no link " << prefix;
    const QPoint screen = view->mapToGlobal(at);
    const std::string command = "xdotool mousemove --sync " + std::to_string(screen.x()) + " " +
                                std::to_string(screen.y()) + " click 1";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  TempFolder folder;
  std::string media;
  std::unique_ptr<service::DemoService> demo;
  headless::ScriptedDialogs dialogs;
  headless::RecordingPower power;
  std::unique_ptr<DesktopProgram> program;
};

TEST_F(EngineWindow, APressedEpisodePlaysThroughTheEngineAndTheNextComesFromTheDownloadFolder) {
  press_link("razavov://101-1-1-");
  ASSERT_TRUE(wait_for([&] { return playing(); }, 60000)) << why();
  const std::string first = streams().media_address();
  EXPECT_TRUE(first.starts_with("qvod://")) << first;
  EXPECT_NE(first.find("|p101-s1-e01.mp4|"), std::string::npos);
  // The terminal was started from the player folder the program prepared.
  EXPECT_TRUE(fs::is_symlink(folder.file("home/Qvod/QvodTerminal.exe")));
  EXPECT_EQ(settings::read_ini(folder.file("home/config.dll"), "S_q", "qvodw"),
            folder.file("home/Qvod/"));

  // Past 601 thousandths the next episode goes to the engine, which downloads
  // it ahead.
  ASSERT_TRUE(wait_for([&] { return !streams().prepared_next().empty(); }, 30000))
      << "downloaded " << streams().download_permille() << " next "
      << static_cast<int>(ba1().session().next().state);
  EXPECT_NE(streams().prepared_next().find("|p101-s1-e02.mp4|"), std::string::npos);
  EXPECT_GT(streams().download_permille(), 601);
  const std::string second_clip = whole_file(media + "/p101-s1-e02.mp4");
  ASSERT_TRUE(
      wait_for([&] { return whole_file(downloads() + "p101-s1-e02.mp4") == second_clip; }, 30000))
      << "the next episode was not downloaded ahead";

  // The first episode ends; the next plays from what is in the download folder.
  const int drawn = frames();
  streams().set_position(streams().duration() - 3);
  ASSERT_TRUE(wait_for(
      [&] {
        const playback::Episode* episode = ba1().session().episode();
        return episode != nullptr && episode->text.starts_with("101-1-2-");
      },
      30000))
      << "next state " << static_cast<int>(ba1().session().next().state);
  ASSERT_TRUE(wait_for([&] { return playing() && frames() > drawn; }, 30000)) << why();
  EXPECT_NE(streams().media_address().find("|p101-s1-e02.mp4|"), std::string::npos);
  EXPECT_EQ(streams().download_permille(), 1000);
  EXPECT_EQ(whole_file(downloads() + "p101-s1-e01.mp4"), whole_file(media + "/p101-s1-e01.mp4"));
}

// A terminal started for another program folder and another service runs when the program starts
// (its folder's pelmora.ini names the service): the program uses it, tells it its service and
// what it ends with, and a pressed episode plays through it.
TEST_F(EngineWindow, ATerminalStartedForAnotherFolderAndServiceServesThisProgram) {
  program.reset();
  QApplication::processEvents();
  end_own_terminals();  // the one the first start of the window started
  ::unsetenv("PELMORA_SERVICE_URL");
  folder.write("home/pelmora.ini", "[pelmora]\r\nservice_url=" + demo->base_url() + "\r\n");
  fs::create_directories(folder.file("other"));
  fs::create_symlink(PELMORA_ENGINE_TERMINAL, folder.file("other/QvodTerminal.exe"));
  QProcess other;
  other.start(QString::fromStdString(folder.file("other/QvodTerminal.exe")),
              {"--service", "http://127.0.0.1:9/", "--end-with", "none"});
  ASSERT_TRUE(
      wait_for([&] { return fs::exists(folder.file("run/pelmora-engine.endpoint")); }, 20000));
  program = std::make_unique<DesktopProgram>(
      DesktopProgram::Options{folder.file("home"), "", &dialogs, &power});
  ASSERT_TRUE(program->start());
  ASSERT_TRUE(wait_for([&] { return ba1().Pic1.visible(); }, 30000));
  press_link("razavov://101-1-1-");
  ASSERT_TRUE(wait_for([&] { return playing(); }, 60000)) << why();
  EXPECT_EQ(other.state(), QProcess::Running);
  EXPECT_EQ(settings::read_ini(folder.file("home/config.dll"), "S_q", "qvodw"),
            folder.file("other/"));
}

}  // namespace
}  // namespace pelmora::platform::qt
