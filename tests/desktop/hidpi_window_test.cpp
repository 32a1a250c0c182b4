// The desktop program in a real window at a device pixel ratio of 2 (QT_SCALE_FACTOR=2), as on a
// high-density screen: the layout in pixels stays as it is, the skin is drawn from its cells made
// for twice the density, the video fills its area and the panes render at the finer grid.
#include <gtest/gtest.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtGui/QImage>
#include <QtGui/QScreen>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "desktop_program.h"
#include "engine_client/engine_stream_player.h"
#include "platform/browser/web_pane.h"
#include "platform/headless/recorders.h"
#include "platform/headless/scripted_dialogs.h"
#include "platform/player/mpv_player.h"
#include "playback/session.h"
#include "support/media_clip.h"
#include "support/temp_folder.h"

// The browser engine frees memory in ways AddressSanitizer misreads and keeps caches until exit.
extern "C" const char* __asan_default_options() {
  return "new_delete_type_mismatch=0:detect_leaks=0";
}

namespace pelmora::platform::qt {
namespace {

namespace fs = std::filesystem;
using pelmora::testing::TempFolder;

// A screen large enough for the window at twice its size, for the life of the test program.
bool large_display() {
  static QProcess* server = nullptr;
  if (server != nullptr) return true;
  for (int number = 191; number < 240; ++number) {
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
    if (fs::exists(socket) || fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) continue;
    server = new QProcess;
    server->start("Xvfb",
                  {QString(":%1").arg(number), "-screen", "0", "2400x1600x24", "-nolisten", "tcp"});
    QElapsedTimer timer;
    timer.start();
    while (!fs::exists(socket) && timer.elapsed() < 5000) server->waitForFinished(50);
    if (fs::exists(socket)) {
      ::setenv("DISPLAY", (":" + std::to_string(number)).c_str(), 1);
      std::atexit([] { server->kill(); });
      return true;
    }
    server->kill();
    delete server;
    server = nullptr;
  }
  return false;
}

QApplication& application() {
  static QApplication* app = [] {
    ::setenv("QT_SCALE_FACTOR", "2", 1);
    ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    ::unsetenv("QT_QPA_PLATFORM");
    register_program_links();
    static int argc = 1;
    static char name[] = "desktop_tests";
    static char* argv[] = {name, nullptr};
    auto* made = new QApplication(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    return made;
  }();
  return *app;
}

template <typename Done>
bool wait_for(Done done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
  return done();
}

// The share of pixels of two equally sized images that differ by more than `tolerance` in any
// channel.
double differing_share(const QImage& a, const QImage& b, int tolerance = 24) {
  int differing = 0;
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y);
      const QRgb q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) > tolerance || std::abs(qGreen(p) - qGreen(q)) > tolerance ||
          std::abs(qBlue(p) - qBlue(q)) > tolerance) {
        ++differing;
      }
    }
  }
  return static_cast<double>(differing) / (a.width() * a.height());
}

TEST(HighDensityWindow, KeepsItsLayoutAndDrawsTheSkinSharp) {
  if (!large_display()) GTEST_SKIP() << "no Xvfb for a large virtual screen";
  TempFolder folder;
  std::string why;
  const std::string clip = folder.file("clip.mkv");
  if (!pelmora::testing::make_test_clip(clip, 20, &why)) GTEST_SKIP() << why;
  ::setenv("XDG_RUNTIME_DIR", folder.file("run").c_str(), 1);
  fs::create_directories(folder.file("run"));
  fs::create_directories(folder.file("home"));
  ::setenv("PELMORA_SERVICE_URL", "http://127.0.0.1:9/", 1);
  application();
  ASSERT_EQ(qApp->devicePixelRatio(), 2.0);

  headless::ScriptedDialogs dialogs;
  headless::RecordingPower power;
  auto program = std::make_unique<DesktopProgram>(
      DesktopProgram::Options{folder.file("home"), "", &dialogs, &power});
  ASSERT_TRUE(program->start());
  app::BA1& ba1 = program->main_window();
  QWidget* window = program->main_widget();
  ASSERT_TRUE(wait_for([&] { return window->isVisible(); }, 20000));
  wait_for([] { return false; }, 1500);

  // The layout in pixels is the window's own, whatever the density.
  EXPECT_EQ(window->width(), ba1.scale_width());
  EXPECT_EQ(window->height(), ba1.scale_height());
  EXPECT_EQ(window->width(), 906);

  // What the screen shows of the window: twice as many device pixels each way.
  const QRect area = window->frameGeometry();
  QImage shot = window->screen()
                    ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
                    .toImage()
                    .convertToFormat(QImage::Format_RGB32);
  const std::string shots = std::string(PELMORA_BINARY_DIR) + "/window-shots";
  fs::create_directories(shots);
  shot.save(QString::fromStdString(shots + "/hidpi.png"));
  ASSERT_EQ(shot.width(), 2 * 906);
  ASSERT_EQ(shot.height(), 2 * ba1.scale_height());

  // The frame's left margin, with the program's name running up it, is the 2x bitmap's own
  // pixels: drawn from the cells made for this density, not the ordinary ones enlarged.
  const QRect margin(2 * 2, 2 * 30, 2 * 12, 2 * 70);
  const QImage seen = shot.copy(margin);
  const QImage sharp =
      QImage(":/resources/skin/101@2x.png").convertToFormat(QImage::Format_RGB32).copy(margin);
  const QImage enlarged = QImage(":/resources/skin/101.png")
                              .convertToFormat(QImage::Format_RGB32)
                              .scaled(160, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .copy(margin);
  EXPECT_LT(differing_share(seen, sharp), 0.02);
  EXPECT_GT(differing_share(seen, enlarged, 8), differing_share(seen, sharp, 8));

  // The video fills its area, at the finer grid.
  ba1.Form_LinkExecute(clip);
  auto* mpv = dynamic_cast<MpvPlayer*>(platform::qt::behind_streams(ba1.session().player()));
  ASSERT_NE(mpv, nullptr);
  ASSERT_TRUE(wait_for(
      [&] {
        return ba1.session().player()->play_state() == PlayState::kPlaying &&
               ba1.player_view.visible();
      },
      30000))
      << ba1.zhun.caption() << " / " << mpv->last_error();
  QWidget* video = mpv->video_widget();
  ASSERT_NE(video, nullptr);
  wait_for([] { return false; }, 1500);
  EXPECT_EQ(video->width(), ba1.player_view.width());
  EXPECT_EQ(video->height(), ba1.player_view.height());
  EXPECT_GT(video->width(), 200);
  EXPECT_EQ(video->devicePixelRatio(), 2.0);

  // Every browser pane takes its box's size and renders at twice the density.
  int panes = 0;
  for (Control* control : ba1.controls()) {
    auto* pane = dynamic_cast<WebBrowser*>(control);
    auto* peer = pane != nullptr ? dynamic_cast<WebPanePeer*>(pane->peer()) : nullptr;
    if (peer == nullptr || peer->view() == nullptr || !peer->view()->isVisible()) continue;
    ++panes;
    EXPECT_EQ(peer->view()->width(), pane->width()) << pane->name();
    EXPECT_EQ(peer->view()->devicePixelRatio(), 2.0) << pane->name();
  }
  EXPECT_GT(panes, 0);

  ba1.ttt_v();
  program.reset();
  QApplication::processEvents();
}

}  // namespace
}  // namespace pelmora::platform::qt
