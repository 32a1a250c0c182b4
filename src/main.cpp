// The Pelmora desktop program: the real services on Linux, the Qt backend, and the start-up
// sequence.
#include <unistd.h>

#include <QtCore/QPointer>
#include <QtCore/QSocketNotifier>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "app/command_path.h"
#include "app/main_window.h"
#include "desktop_program.h"
#include "engine_client/engine_stream_player.h"
#include "platform/browser/pane_rest.h"
#include "platform/browser/view_warm_up.h"
#include "platform/browser/web_pane.h"
#include "platform/desktop/lag_probe.h"
#include "platform/desktop/local_instance_channel.h"
#include "platform/player/mpv_library.h"
#include "platform/player/mpv_player.h"
#include "platform/program_folder.h"
#include "platform/system/memory_policy.h"
#include "platform/system/termination_signals.h"
#include "playback/session.h"
#include "util/link_schemes.h"

// In a build with AddressSanitizer: the browser engine inside Qt WebEngine frees memory with a
// size of its own allocator's, which the sanitizer reports as a mismatch, and keeps caches
// alive until exit. Neither is this program's memory; every other check stays on.
extern "C" const char* __asan_default_options() {
  return "new_delete_type_mismatch=0:detect_leaks=0";
}

namespace {

using namespace pelmora;

constexpr const char* kUsage =
    "Usage: pelmora [--home DIR] [FILE-OR-ADDRESS]\n"
    "A desktop client for an online video service.\n"
    "\n"
    "  --home DIR    keep the settings, history lists and pages in DIR\n"
    "  --help        show this help and end\n"
    "  --version     show the version and end\n"
    "\n"
    "FILE-OR-ADDRESS is played at once; when Pelmora already runs, the running window plays it.\n"
    "Configuration: pelmora.ini in the program folder, section [pelmora], or PELMORA_* variables\n"
    "(PELMORA_SERVICE_URL, PELMORA_SHUTDOWN_COMMAND, PELMORA_HTTP_TIMEOUT_MS, ...).\n";

struct Arguments {
  std::string home;
  std::string command_line;
  bool help = false;
  bool version = false;
  bool bad = false;
};

Arguments parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help" || word == "-h") {
      arguments.help = true;
    } else if (word == "--version") {
      arguments.version = true;
    } else if (word == "--home") {
      if (i + 1 >= argc) {
        arguments.bad = true;
      } else {
        arguments.home = argv[++i];
      }
    } else if (word.starts_with("--home=")) {
      arguments.home = word.substr(7);
    } else {
      // What is left is the file or address, as one command line.
      if (!arguments.command_line.empty()) arguments.command_line += ' ';
      arguments.command_line += word;
    }
  }
  // Played here or handed to the running window, a relative path means this start's folder.
  arguments.command_line = app::absolute_command_line(arguments.command_line);
  return arguments;
}

// Wall-clock milliseconds, for the start-up benchmark that compares them with its own clock.
long long epoch_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// The first episode of the catalogue, in the page's terms.
const std::string kFirstEpisode =
    "document.querySelector('a[href^=\"" + std::string(links::kSearch) + "\"]')";

// Reports when the first frame of what plays is drawn.
void report_first_frame(app::BA1& window, QObject* parent) {
  auto* watch = new QTimer(parent);
  QObject::connect(watch, &QTimer::timeout, [&window, watch] {
    auto* mpv = dynamic_cast<platform::qt::MpvPlayer*>(
        platform::qt::behind_streams(window.session().player()));
    if (mpv == nullptr || !mpv->picture_shown()) return;
    std::fprintf(stderr, "pelmora-timing first-frame %lld\n", epoch_ms());
    watch->stop();
  });
  watch->start(5);
}

// Clicks the first episode of the catalogue and reports when, then when its first frame is drawn.
void click_first_episode(app::BA1& window) {
  auto* web1 = dynamic_cast<platform::qt::WebPanePeer*>(window.Web1.peer());
  platform::qt::report_lag_now();
  std::fprintf(stderr, "pelmora-timing click %lld\n", epoch_ms());
  web1->view()->page()->runJavaScript(QString::fromStdString(kFirstEpisode) + ".click();");
  report_first_frame(window, web1->view());
}

// Says where on the screen the first episode of the catalogue is, for a benchmark that presses
// it as a person does (through the X server), and reports when its first frame is drawn.
void show_first_episode(app::BA1& window) {
  auto* web1 = dynamic_cast<platform::qt::WebPanePeer*>(window.Web1.peer());
  QWebEngineView* view = web1->view();
  view->page()->runJavaScript(
      QString("(() => { const r = %1.getBoundingClientRect();"
              " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
          .arg(QString::fromStdString(kFirstEpisode)),
      [&window, view = QPointer<QWebEngineView>(view)](const QVariant& result) {
        const QVariantList centre = result.toList();
        if (!view || centre.size() != 2) return;
        const QPoint at = view->mapToGlobal(QPoint(centre[0].toInt(), centre[1].toInt()));
        std::fprintf(stderr, "pelmora-timing episode-at %d %d\n", at.x(), at.y());
        report_first_frame(window, view);
      });
}

// For the benchmark (PELMORA_TIMING set): prints when the window is shown, when every pane has
// finished its first load and, with PELMORA_TIMING=play, when the first episode of the catalogue
// was clicked (once the window has settled; "play-at-once": as soon as the pages have loaded)
// and when its first frame was drawn; with "play-by-hand", where that episode is on the screen
// (the benchmark presses it) and when its first frame was drawn; and once a second how late the
// event loop ran (the longest an input event could have waited).
void report_timing(DesktopProgram& program) {
  // PELMORA_TIMING=idle reports the start only: nothing of the benchmark's own wakes the
  // program while its idle share is measured.
  const bool idle = std::string_view(std::getenv("PELMORA_TIMING")) == "idle";
  if (!idle) platform::qt::start_lag_probe(std::getenv("PELMORA_TIMING_STACKS") != nullptr);
  QTimer::singleShot(0, [] { std::fprintf(stderr, "pelmora-timing shown %lld\n", epoch_ms()); });
  app::BA1& window = program.main_window();
  if (!idle) {
    // The first picture of whatever plays once it is on screen, with its size there (the
    // benchmark plays the same clip at that size in standalone mpv).
    auto* picture_watch = new QTimer(qApp);
    QObject::connect(picture_watch, &QTimer::timeout, [&window, picture_watch] {
      auto* mpv = dynamic_cast<platform::qt::MpvPlayer*>(
          platform::qt::behind_streams(window.session().player()));
      const QWidget* video = mpv != nullptr ? mpv->video_widget() : nullptr;
      if (video == nullptr || !mpv->picture_shown() || !video->isVisible()) return;
      std::fprintf(stderr, "pelmora-timing picture %lld %d %d\n", epoch_ms(), video->width(),
                   video->height());
      picture_watch->deleteLater();
    });
    picture_watch->start(20);
  }
  auto pending = std::make_shared<int>(0);
  for (platform::Control* control : window.controls()) {
    auto* pane = dynamic_cast<platform::WebBrowser*>(control);
    auto* peer = pane != nullptr ? dynamic_cast<platform::qt::WebPanePeer*>(pane->peer()) : nullptr;
    if (peer == nullptr || peer->view() == nullptr) continue;
    ++*pending;
    auto done = std::make_shared<bool>(false);
    QObject::connect(peer->view(), &QWebEngineView::loadFinished, [&window, pending, done](bool) {
      if (*done) return;
      *done = true;
      if (--*pending != 0) return;
      std::fprintf(stderr, "pelmora-timing loaded %lld\n", epoch_ms());
      const std::string_view mode = std::getenv("PELMORA_TIMING");
      if (mode == "play-at-once") {
        click_first_episode(window);
      } else if (mode == "play" || mode == "play-by-hand") {
        // As a user would: once the window has settled (the hidden panes made ready).
        auto* settle = new QTimer(qApp);
        QObject::connect(settle, &QTimer::timeout, [&window, settle, by_hand = mode != "play"] {
          if (platform::qt::views_waiting_to_warm_up() != 0) return;
          settle->deleteLater();
          if (by_hand) {
            show_first_episode(window);
          } else {
            click_first_episode(window);
          }
        });
        settle->start(20);
      }
    });
  }
}

// Screen readers read the panes' pages as well as the window's controls (which the backend
// exposes itself): the browser engine gives its pages to them only when told so before the
// application starts, and before any thread runs, since it reads the environment. A value the
// user set himself is kept.
void open_to_screen_readers() {
  ::setenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1", 0);
}

// How long the program may take to end after a termination signal before it is ended at once:
// a session manager waits a few seconds at logout before it kills what is left.
constexpr unsigned kGraceSeconds = 5;

// The running program, for the message handler and the signal watch's thread; null once
// `main` has left the event loop.
std::atomic<DesktopProgram*> g_program{nullptr};
QtMessageHandler g_qt_messages = nullptr;

// Qt ends the program (exit(1)) right after it says that the X server has gone, as it does when
// the session ends: the position and the engine's programs are seen to first, on the
// user-interface thread that noticed it.
void on_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  static bool display_gone = false;
  DesktopProgram* program = g_program;
  if (type == QtWarningMsg && !display_gone && program != nullptr &&
      message.startsWith("The X11 connection broke") &&
      QThread::currentThread() == qApp->thread()) {
    display_gone = true;
    program->end_without_display();
  }
  if (g_qt_messages != nullptr) {
    g_qt_messages(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
  }
}

// SIGTERM, SIGINT and SIGHUP end the program through its own exit, on the event loop.
void end_on_termination_signals(DesktopProgram& program) {
  const auto end_engine_at_once = [] {
    if (DesktopProgram* running = g_program; running != nullptr) running->end_engine_at_once();
  };
  if (!platform::posix::watch_termination_signals(kGraceSeconds, end_engine_at_once)) {
    return;
  }
  auto* notifier =
      new QSocketNotifier(platform::posix::termination_fd(), QSocketNotifier::Read, qApp);
  QObject::connect(notifier, &QSocketNotifier::activated, [&program, notifier] {
    notifier->setEnabled(false);
    std::fprintf(stderr, "pelmora: ending on signal %d\n", platform::posix::termination_signal());
    program.end_for_system();
  });
}

// Calls `look` soon after any window of the program hides: the main window's going (or the
// last window's after it) is what ends the program, and it is seen then rather than at the
// next look of the slow watch.
class WindowsGoing final : public QObject {
 public:
  explicit WindowsGoing(std::function<void()> look) : look_(std::move(look)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Hide && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow()) {
      QTimer::singleShot(0, this, look_);
    }
    return false;
  }

 private:
  std::function<void()> look_;
};

}  // namespace

int main(int argc, char** argv) {
  platform::posix::share_allocation_arenas();
  const Arguments arguments = parse(argc, argv);
  if (arguments.help || arguments.bad) {
    std::fputs(kUsage, arguments.bad ? stderr : stdout);
    return arguments.bad ? 2 : 0;
  }
  if (arguments.version) {
    std::puts("Pelmora 3.0");
    return 0;
  }
  open_to_screen_readers();

  // Which start is the first is decided before anything else: a later start hands its command
  // line to the running window and ends without loading the player, the browser engine or the
  // application object. The first starts listening at once; commands wait for its window.
  platform::LocalInstanceChannel channel("Pelmora|BA1");
  if (!channel.claim()) {
    switch (channel.hand_over(arguments.command_line)) {
      case platform::LocalInstanceChannel::HandOver::kDelivered:
        return 0;
      case platform::LocalInstanceChannel::HandOver::kFailed:
        std::fprintf(stderr, "pelmora: the command was not handed to the running Pelmora: %s\n",
                     channel.failure().c_str());
        return 1;
      case platform::LocalInstanceChannel::HandOver::kFirst:
        break;  // the running one ended meanwhile: this start is the first
    }
  }

  // Chromium refuses to run as root with its sandbox (as in CI and containers).
  if (::geteuid() == 0) {
    std::string flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS") != nullptr
                            ? std::getenv("QTWEBENGINE_CHROMIUM_FLAGS")
                            : "";
    if (flags.find("--no-sandbox") == std::string::npos) {
      flags += " --no-sandbox";
      ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
    }
  }
  platform::qt::share_browser_processes();
  // The program's links reach the panes; one that plays loads the player's library meanwhile.
  register_program_links(platform::qt::preload_player_library);
  // The player's picture is a native window inside the main window; its siblings (the panes,
  // the bars, every control) stay drawn by the window itself rather than each becoming a
  // native window of its own, which the window's composition of its browser panes cannot draw.
  QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  QApplication application(argc, argv);
  QApplication::setApplicationName("Pelmora");
  QApplication::setQuitOnLastWindowClosed(false);
  // libmpv reads numbers in the C locale.
  std::setlocale(LC_NUMERIC, "C");

  DesktopProgram program({platform::resolve_program_folder(arguments.home), arguments.command_line,
                          nullptr, nullptr, &channel});
  if (!program.start()) {
    // Starts that handed their files over meanwhile learn that nobody will play them.
    channel.refuse("it closed before its window opened");
    return 0;
  }

  if (std::getenv("PELMORA_TIMING") != nullptr) report_timing(program);
  g_program = &program;
  g_qt_messages = qInstallMessageHandler(on_qt_message);
  end_on_termination_signals(program);

  // The program ends when the main window has been unloaded and no window of its own is left
  // (the exit recommendation window may stay a few seconds after the main window). While the
  // main window is loaded it cannot have ended: a slower look then lets an idle program sleep.
  QTimer watch;
  const auto look = [&] {
    if (program.finished()) QApplication::quit();
    watch.setInterval(program.main_window().loaded() ? 1000 : 200);
  };
  QObject::connect(&watch, &QTimer::timeout, look);
  WindowsGoing going(look);
  application.installEventFilter(&going);
  watch.start(200);
  const int status = application.exec();
  application.removeEventFilter(&going);
  qInstallMessageHandler(g_qt_messages);
  g_program = nullptr;
  return status;
}
