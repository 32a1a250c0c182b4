// The desktop program in a real window on a virtual screen (Xvfb): real Qt WebEngine panes,
// the real libmpv player and the demo service with its clips. Only the dialogs a person would
// answer and the system's shutdown are stand-ins.
#include <gtest/gtest.h>

#include <QtCore/QProcess>
#include <QtGui/QImage>
#include <QtGui/QScreen>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/settings_store.h"
#include "demo_service.h"
#include "platform/headless/recorders.h"
#include "platform/headless/scripted_dialogs.h"
#include "platform/player_control.h"
#include "platform/qt/desktop_program.h"
#include "platform/qt/mpv_player.h"
#include "platform/qt/qt_backend.h"
#include "platform/qt/web_pane.h"
#include "settings_dialog/settings_dialog.h"
#include "support/temp_folder.h"
#include "tray/tips_form.h"
#include "window_harness.h"

// The browser engine inside Qt WebEngine frees memory in ways AddressSanitizer misreads and
// keeps caches until exit; the program's own code stays fully checked.
extern "C" const char* __asan_default_options() {
  return "new_delete_type_mismatch=0:detect_leaks=0";
}

namespace pelmora::platform::qt {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TempFolder;

using pelmora::testing::window::application;
using pelmora::testing::window::demo_media;
using pelmora::testing::window::ensure_display;
using pelmora::testing::window::wait_for;

class DesktopWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ensure_display()) GTEST_SKIP() << "no display and no Xvfb to make one";
    media = demo_media();
    if (media.empty()) GTEST_SKIP() << "the demo clips cannot be made (ffmpeg missing?)";
    ::setenv("XDG_RUNTIME_DIR", folder.file("run").c_str(), 1);
    fs::create_directories(folder.file("run"));
    fs::create_directories(folder.file("home"));
    service::ServiceOptions options;
    options.media_folder = media;
    demo = std::make_unique<service::DemoService>(options);
    ASSERT_TRUE(demo->start());
    ::setenv("PELMORA_SERVICE_URL", demo->base_url().c_str(), 1);
    application();
    program = std::make_unique<DesktopProgram>(
        DesktopProgram::Options{folder.file("home"), "", &dialogs, &power});
    ASSERT_TRUE(program->start());
    ASSERT_TRUE(wait_for([&] { return ba1().Pic1.visible(); }, 30000))
        << "the catalogue did not load";
  }
  void TearDown() override {
    program.reset();
    QApplication::processEvents();
    demo.reset();
  }

  app::BA1& ba1() { return program->window(); }
  PlayerControl& player() { return *ba1().player(); }
  QWebEnginePage* page(WebBrowser& pane) {
    auto* peer = dynamic_cast<WebPanePeer*>(pane.peer());
    return peer != nullptr && peer->view() != nullptr ? peer->view()->page() : nullptr;
  }
  // Clicks the first link of the pane's page whose address begins with `prefix`.
  void click_link(WebBrowser& pane, const std::string& prefix) {
    ASSERT_NE(page(pane), nullptr);
    page(pane)->runJavaScript(QString("document.querySelector('a[href^=\"%1\"]').click();")
                                  .arg(QString::fromStdString(prefix)));
  }
  std::string home_file(const std::string& name) {
    const auto text = [&] {
      std::ifstream in(folder.file("home/" + name), std::ios::binary);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    return text();
  }
  // What the screen shows of a window (the X server's pixels, video and pages included), also
  // saved under the build tree's window-shots/.
  QImage screenshot(const std::string& name, QWidget* window = nullptr) {
    if (window == nullptr) window = program->main_widget();
    wait_for([] { return false; }, 300);  // let the last paints reach the screen
    // The screen's pixels where the window is (a window that just changed its flags may have a
    // new native window; the screen's own picture does not care).
    const QRect area = window->frameGeometry();
    const QImage image = window->screen()
                             ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const std::string shots = std::string(PELMORA_BINARY_DIR) + "/window-shots";
    fs::create_directories(shots);
    image.save(QString::fromStdString(shots + "/" + name + ".png"));
    return image;
  }
  // What the player last reported as wrong, for failure messages.
  std::string player_error() {
    auto* mpv = dynamic_cast<MpvPlayer*>(ba1().player());
    return ba1().zhun.caption() + " / " + (mpv != nullptr ? mpv->last_error() : "no player") +
           " / " + player().media_address();
  }
  bool playing() {
    return ba1().zhun.caption().find("播放中") != std::string::npos &&
           player().play_state() == PlayState::kPlaying;
  }

  TempFolder folder;
  std::string media;
  std::unique_ptr<service::DemoService> demo;
  headless::ScriptedDialogs dialogs;
  headless::RecordingPower power;
  std::unique_ptr<DesktopProgram> program;
};

TEST_F(DesktopWindow, StartsAndPaintsItsSkin) {
  const QImage image = screenshot("film-library");
  ASSERT_FALSE(image.isNull());
  // The frame is the skin's dark grey, and the selected film library tab shows its orange bar.
  const QColor frame = image.pixelColor(2, image.height() / 2);
  EXPECT_LT(frame.red(), 90);
  EXPECT_LT(frame.green(), 90);
  bool orange = false;
  for (int x = 10; x < 80 && !orange; ++x) {
    for (int y = 80; y < 100 && !orange; ++y) {
      const QColor c = image.pixelColor(x, y);
      orange = c.red() > 200 && c.green() > 90 && c.green() < 170 && c.blue() < 80;
    }
  }
  EXPECT_TRUE(orange) << "no selected tab painted";
  // Not one flat colour: the catalogue page shows.
  int different = 0;
  for (int x = 0; x < image.width(); x += 37) {
    if (image.pixelColor(x, image.height() / 3) != frame) ++different;
  }
  EXPECT_GT(different, 3);
}

TEST_F(DesktopWindow, AnEpisodeClickedInTheCataloguePlaysAndTheNextFollows) {
  click_link(ba1().Web1, "razavov://101-1-1-");
  ASSERT_TRUE(wait_for([&] { return playing(); }, 30000)) << player_error();
  EXPECT_NE(home_file("date.dat").find("101|"), std::string::npos);
  EXPECT_NE(home_file("c.htm").find("山海之间"), std::string::npos);
  const int start = player().position();
  ASSERT_TRUE(wait_for([&] { return player().position() >= start + 2; }, 10000));
  screenshot("playback");

  // Near the end, the next episode follows by itself.
  player().set_position(player().duration() - 3);
  ASSERT_TRUE(wait_for([&] { return ba1().cur_episode.starts_with("101-1-2-"); }, 30000))
      << "next_link=" << ba1().next_link;
  EXPECT_TRUE(wait_for([&] { return playing(); }, 30000));
  EXPECT_NE(player().media_address().find("p101-s1-e02"), std::string::npos);
}

TEST_F(DesktopWindow, StopAndTheHistoryPageResumeThePosition) {
  click_link(ba1().Web1, "razavov://101-1-1-");
  ASSERT_TRUE(wait_for([&] { return playing(); }, 30000));
  player().set_position(8);
  // Stop saves the position the status monitor last saw.
  ASSERT_TRUE(wait_for([&] { return ba1().last_position >= 9; }, 10000));
  ba1().bo_but_Click(1);
  const std::string list = home_file("date.dat");
  ASSERT_NE(list.find("|1|1|"), std::string::npos) << list;
  EXPECT_EQ(list.find("|1|1|0\r\n"), std::string::npos) << "no position saved: " << list;

  ba1().npc_Click(12);  // the history page
  ASSERT_TRUE(wait_for([&] { return ba1().Pic3.visible(); }, 5000));
  click_link(ba1().Web3, "open://");
  ASSERT_TRUE(wait_for([&] { return playing() && player().position() >= 8; }, 30000))
      << "position " << player().position();
}

TEST_F(DesktopWindow, ASecondStartHandsItsFileToTheRunningWindowAndEnds) {
  const std::string clip = media + "/p101-s1-e03.mp4";
  QProcess second;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("ASAN_OPTIONS", "detect_leaks=0:new_delete_type_mismatch=0");
  second.setProcessEnvironment(environment);
  second.start(PELMORA_PROGRAM, {"--home", QString::fromStdString(folder.file("second")),
                                 QString::fromStdString(clip)});
  ASSERT_TRUE(wait_for([&] { return second.state() == QProcess::NotRunning; }, 30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  ASSERT_TRUE(wait_for([&] { return ba1().cur_item == clip; }, 5000));
  EXPECT_TRUE(wait_for([&] { return playing(); }, 30000)) << player_error();
  EXPECT_NE(home_file("date_f.dat").find("p101-s1-e03.mp4|" + clip + "|0"), std::string::npos);
  // The second start wrote nothing of its own beyond start-up's files and showed no window.
  EXPECT_FALSE(fs::exists(folder.file("second/date.dat")) &&
               home_file("../second/c.htm").find("山海") != std::string::npos);
}

TEST_F(DesktopWindow, CompactModeAndTheSettingsDialogShow) {
  click_link(ba1().Web1, "razavov://102-1-1-");
  ASSERT_TRUE(wait_for([&] { return playing(); }, 30000)) << player_error();
  ba1().npc_Click(15);  // compact mode
  ASSERT_EQ(ba1().mini_mode, 1);
  wait_for([] { return false; }, 1500);
  const QImage compact = screenshot("compact");
  EXPECT_GT(compact.width(), 100);
  EXPECT_LT(compact.width(), 700);  // the small window
  EXPECT_TRUE(ba1().top_most());
  ba1().jbi.raise_click();  // back to the full window
  EXPECT_EQ(ba1().mini_mode, 0);

  ba1().tip_form().shezhi.raise_click();  // the menu's 软件设置
  auto& settings = ba1().settings_form();
  QWidget* dialog = program->backend().window_of(settings);
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(wait_for([&] { return dialog->isVisible(); }, 5000));
  const QImage page = screenshot("settings", dialog);
  EXPECT_GT(page.width(), 100);
}

TEST_F(DesktopWindow, TheCloseQuestionIsAskedOnceAndWithoutATrayTheWindowMinimises) {
  // No notification area on this virtual screen.
  ASSERT_FALSE(program->window().services().tray.available());
  dialogs.answer_next(Answer::kYes);  // keep running in the background
  ba1().npc_Click(2);
  ASSERT_NE(dialogs.last(), nullptr);
  EXPECT_EQ(settings::read_ini(folder.file("home/config.dll"), "S_q", "ts"), "1");
  EXPECT_TRUE(ba1().loaded());
  EXPECT_TRUE(wait_for([&] { return program->main_widget()->isMinimized(); }, 5000));
  const auto asked = dialogs.shown().size();
  ba1().set_window_state(WindowState::kNormal);
  ba1().npc_Click(2);
  EXPECT_EQ(dialogs.shown().size(), asked);  // asked once only
  EXPECT_TRUE(ba1().loaded());
  EXPECT_EQ(power.shutdowns, 0);
}

}  // namespace
}  // namespace pelmora::platform::qt
