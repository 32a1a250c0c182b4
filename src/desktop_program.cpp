#include "desktop_program.h"

#include <QtCore/QTimer>
#include <QtGui/QIcon>
#include <QtGui/QPixmap>
#include <QtGui/QWindow>
#include <QtWebEngineCore/QWebEngineProfile>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QDialog>
#include <atomic>
#include <cstdlib>
#include <string_view>

#include "app/settings_store.h"
#include "engine_client/engine_client.h"
#include "engine_client/engine_files.h"
#include "engine_client/engine_program.h"
#include "engine_client/engine_stream_player.h"
#include "lists/list_files.h"
#include "platform/browser/web_pane.h"
#include "platform/curl/curl_fetch.h"
#include "platform/desktop/local_instance_channel.h"
#include "platform/desktop/mpris_service.h"
#include "platform/desktop/qt_services.h"
#include "platform/desktop/qt_translations.h"
#include "platform/desktop/screensaver_inhibitor.h"
#include "platform/desktop/shutdown_delay.h"
#include "platform/player/mpv_engine.h"
#include "platform/player/mpv_player.h"
#include "platform/services.h"
#include "platform/system/command_power.h"
#include "platform/system/ifaddrs_adapters.h"
#include "platform/system/proc_process_table.h"
#include "platform/system/spawn_launcher.h"
#include "platform/system/system_clock.h"
#include "platform/ui/drop_target.h"
#include "platform/ui/qt_backend.h"
#include "playback/session.h"
#include "playback/transport_remote.h"
#include "util/link_schemes.h"

namespace pelmora {

using namespace platform;
using namespace platform::qt;

namespace {

// The program's icon: the left cell of the name badge in the skin.
QIcon program_icon() {
  const QPixmap badge(":/resources/skin/121.png");
  return badge.isNull() ? QIcon() : QIcon(badge.copy(0, 0, 45, 38));
}

// The player's outputs: the window and the desktop's sound; PELMORA_MPV_LOG names a file for
// the player's own log, for diagnosing playback. On X11 mpv draws the picture into a window of
// its own inside the program's, as it draws when it runs alone: a frame then costs the program
// nothing, where the render API has Qt compose the whole window for every frame. Elsewhere
// (Wayland), or with PELMORA_VIDEO_OUTPUT=widget, the picture goes through the render API into
// a widget.
MpvOutputs player_outputs() {
  MpvOutputs outputs;
  const char* chosen = std::getenv("PELMORA_VIDEO_OUTPUT");
  const bool widget = chosen != nullptr && std::string_view(chosen) == "widget";
  if (QGuiApplication::platformName() == QLatin1String("xcb") && !widget) {
    outputs.video = MpvVideoOutput::kWindow;
  }
  if (const char* log = std::getenv("PELMORA_MPV_LOG"); log != nullptr) outputs.log_file = log;
  return outputs;
}

// How often the desktop's media controls and the shutdown hold follow the player; the slower
// pace is for a program at rest out of sight.
constexpr int kMediaWatchMs = 250;
constexpr int kMediaWatchAtRestMs = 2000;

// How the program reaches its download engine; `start_terminal` starts the user's terminal,
// `end_with` says what the running one ends with, and it is told the program's service.
EngineClient::Options engine_options(std::function<void()> start_terminal,
                                     std::function<std::string()> end_with,
                                     std::string service_url) {
  EngineClient::Options options;
  options.start_terminal = std::move(start_terminal);
  options.end_with = std::move(end_with);
  options.service_url = std::move(service_url);
  return options;
}

// Hands a task to the event loop of the user-interface thread (the HTTP fetch's replies).
void post_to_ui(std::function<void()> task) {
  QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
}

// The main window as start-up sees it.
class Host final : public app::MainWindowHost {
 public:
  Host(app::BA1& window, QtBackend& backend, QtDialogs& dialogs, std::string program_folder)
      : window_(window),
        backend_(backend),
        dialogs_(dialogs),
        program_folder_(std::move(program_folder)) {}
  bool loaded() const override { return window_.loaded(); }
  void load() override {
    // The settings file exists by now, and the window's start-up check, which starts the
    // engine's terminal from the player folder, runs only after the window has loaded.
    playback::engine::prepare_player_folder(window_.settings_store,
                                            playback::engine::player_folder_of(program_folder_),
                                            engine_program::terminal_program());
    backend_.attach(window_);
    dialogs_.set_parent(backend_.window_of(window_));
    if (QWidget* shown = backend_.window_of(window_)) accept_drops(*shown, window_);
    window_.load();
  }
  void show() override {
    if (!window_.ended()) window_.show();
  }
  void show_list_page(std::string_view list_file, const std::string& page_path) override {
    window_.show_list_page(list_file, page_path);
  }

 private:
  app::BA1& window_;
  QtBackend& backend_;
  QtDialogs& dialogs_;
  std::string program_folder_;
};

// Qt's own texts in Chinese, before the first window is made.
bool translations_installed() {
  static const bool installed = install_chinese_translations(*QCoreApplication::instance());
  return installed;
}

}  // namespace

struct DesktopProgram::Parts {
  explicit Parts(Options options)
      : translated(translations_installed()),
        options(std::move(options)),
        config(app::Configuration::load(this->options.program_folder)),
        http(post_to_ui, config.http_connect_timeout_ms, config.http_timeout_ms),
        tray(program_icon()),
        own_channel(this->options.channel != nullptr
                        ? nullptr
                        : std::make_unique<LocalInstanceChannel>("Pelmora|BA1")),
        power(config.shutdown_command.empty() ? CommandPower::default_command()
                                              : config.shutdown_command),
        download_engine(
            engine_options([this] { start_terminal(); },
                           [this] {
                             return window.settings_store.get().ends_engine_with_program()
                                        ? engine_program::own_identity()
                                        : std::string("none");
                           },
                           config.service_url)),
        player_engine(player_outputs()),
        stream_players(player_engine, download_engine),
        services{backend,
                 clock,
                 http,
                 processes,
                 launcher,
                 this->options.dialogs != nullptr ? *this->options.dialogs : dialogs,
                 tray,
                 this->options.channel != nullptr ? *this->options.channel : *own_channel,
                 this->options.power != nullptr ? *this->options.power : power,
                 screen,
                 adapters,
                 stream_players},
        window(services, config, this->options.program_folder, this->options.command_line),
        host(window, backend, dialogs, this->options.program_folder),
        remote(window),
        mpris(remote, [this] { watch.check(); }),
        watch(
            remote, inhibitor,
            [this](const MediaState& now, const MediaState& before) { mpris.update(now, before); }),
        delay([this] { end_for_system(); },
              [this] {
                if (window.loaded() && window.has_player()) window.session().save_position();
              }) {
    QApplication::setWindowIcon(program_icon());
    QWebEngineProfile* profile =
        make_profile(QString::fromStdString(this->options.program_folder),
                     {QString::fromUtf8(lists::kNetworkPage.data(), lists::kNetworkPage.size()),
                      QString::fromUtf8(lists::kLocalPage.data(), lists::kLocalPage.size())},
                     qApp);
    backend.set_pane_maker([profile](WebBrowser& pane, QWidget* parent) {
      return std::unique_ptr<QtControlPeer>(make_web_pane(pane, parent, profile));
    });
    backend.set_video_widget_provider([this](PictureBox& box) -> QWidget* {
      if (&box != &window.player_view) return nullptr;
      auto* mpv = dynamic_cast<MpvPlayer*>(behind_streams(window.session().player()));
      return mpv != nullptr ? mpv->video_widget() : nullptr;
    });
    // The player's FullScreen shows its picture over the whole screen; leaving full screen by
    // Escape or a double click writes it back to off.
    if (auto* mpv = dynamic_cast<MpvPlayer*>(behind_streams(window.session().player()))) {
      QObject::connect(mpv, &MpvPlayer::full_screen_requested, qApp,
                       [this](bool on) { backend.set_video_full_screen(window, on); });
      backend.set_full_screen_left_handler([mpv](const Form&) { mpv->set_full_screen(false); });
      backend.set_full_screen_bar(window, window.bo_foot);
    }
    backend.set_frameless([](const Form& form) {
      return form.name() == "BA1" || form.name() == "adsb" || form.name() == "ba4";
    });
  }

  // Starts the engine's terminal from the player folder the settings name, for the engine client
  // when no terminal answers.
  void start_terminal() {
    const std::string folder = window.settings_store.get().player_folder;
    if (folder.empty() || folder == "0") return;
    launcher.start_program(folder + engine_program::kTerminalName,
                           playback::engine::terminal_arguments(
                               window.settings_store.get().end_engine, config.service_url));
  }

  void end_for_system() {
    // The program ends once the main window is gone, whatever other window is left.
    ending_for_system = true;
    if (!window.loaded()) return;
    // A question a person would answer runs its own event loop: it is answered as its Escape
    // would, and the exit follows once its handler has returned.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr) {
      if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
      } else {
        modal->close();
      }
      QTimer::singleShot(20, qApp, [this] { end_for_system(); });
      return;
    }
    window.exit_recommendation = false;
    window.ttt_v();
  }

  bool translated;
  Options options;
  app::Configuration config;
  SystemClock clock;
  CurlFetch http;
  ProcProcessTable processes;
  SpawnLauncher launcher;
  QtDialogs dialogs;
  QtTray tray;
  std::unique_ptr<LocalInstanceChannel> own_channel;
  CommandPower power;
  QtScreen screen;
  IfaddrsAdapters adapters;
  EngineClient download_engine;
  MpvEngine player_engine;
  // The players the window makes: engine addresses resolved to their stream first.
  EngineStreamPlayerEngine stream_players;
  QtBackend backend;
  Services services;
  app::BA1 window;
  Host host;
  // The desktop's media controls and the screen saver, following the transport bar.
  playback::TransportRemote remote;
  ScreenSaverInhibitor inhibitor;
  MprisService mpris;
  playback::MediaWatch watch;
  // A shutdown or sleep waits while an item is loaded, until its position is written.
  ShutdownDelay delay;
  QTimer media_watch;
  bool ending_for_system = false;
  // "qvodk" as last read on the user-interface thread, for `end_engine_at_once` on another.
  std::atomic<bool> engine_ends_with_program{false};
};

void register_program_links(std::function<void()> play_ahead) {
  platform::qt::PaneLinks own;
  for (const std::string_view link : links::kPaneLinks) {
    own.schemes.emplace_back(links::scheme_name(link));
  }
  for (const std::string_view link : links::kPlayingLinks) {
    own.playing.emplace_back(links::scheme_name(link));
  }
  own.play_ahead = std::move(play_ahead);
  platform::qt::register_link_schemes(std::move(own));
}

DesktopProgram::DesktopProgram(Options options)
    : parts_(std::make_unique<Parts>(std::move(options))) {}

DesktopProgram::~DesktopProgram() {
  // The windows go before the services they use.
  parts_->backend.detach(parts_->window);
}

bool DesktopProgram::start() {
  Parts& p = *parts_;
  const app::StartupContext context{p.options.program_folder,
                                    p.config,
                                    p.player_engine,
                                    p.services.dialogs,
                                    p.launcher,
                                    p.adapters,
                                    p.clock,
                                    p.host};
  if (app::Main(context) != app::StartupResult::kMainWindowShown || p.window.ended()) return false;
  // Only the window that stays answers the desktop's media controls.
  p.mpris.publish();
  p.engine_ends_with_program = p.window.settings_store.get().ends_engine_with_program();
  QObject::connect(&p.media_watch, &QTimer::timeout, [&p] {
    p.engine_ends_with_program = p.window.settings_store.get().ends_engine_with_program();
    p.watch.check();
    p.delay.set_held(p.window.loaded() &&
                     p.watch.last().status != platform::PlaybackStatus::kStopped);
    // Nothing playing and no window on the screen (minimised, in the tray): what changes now
    // comes from the desktop's media controls or the tray, and a slower look is enough.
    const QWidget* shown = p.backend.window_of(p.window);
    const bool on_screen =
        shown != nullptr && shown->windowHandle() != nullptr && shown->windowHandle()->isExposed();
    const bool playing = p.watch.last().status == platform::PlaybackStatus::kPlaying;
    const int interval = playing || on_screen ? kMediaWatchMs : kMediaWatchAtRestMs;
    if (p.media_watch.interval() != interval) p.media_watch.setInterval(interval);
  });
  p.media_watch.start(kMediaWatchMs);
  p.watch.check();
  return true;
}

bool DesktopProgram::finished() const {
  if (parts_->window.loaded()) return false;
  if (parts_->ending_for_system) return true;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible()) return false;
  }
  return true;
}

void DesktopProgram::end_for_system() {
  parts_->end_for_system();
}

void DesktopProgram::end_without_display() {
  parts_->ending_for_system = true;
  parts_->window.end_without_display();
}

void DesktopProgram::end_engine_at_once() {
  if (!parts_->engine_ends_with_program) return;
  // A table of its own: this may run on another thread than the window's.
  ProcProcessTable processes;
  playback::engine::end_process(processes, playback::engine::kPlayerProgram);
  playback::engine::end_process(processes, playback::engine::kTerminalProgram);
}

app::BA1& DesktopProgram::main_window() {
  return parts_->window;
}
QtBackend& DesktopProgram::backend() {
  return parts_->backend;
}
const app::Configuration& DesktopProgram::config() const {
  return parts_->config;
}
QWidget* DesktopProgram::main_widget() {
  return parts_->backend.window_of(parts_->window);
}

}  // namespace pelmora
