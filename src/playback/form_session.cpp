// The playback session on the main window: the window's side of the session (status line,
// timers, panes, balloons, the engine's terminal) and the session's life with the window.
#include "app/main_window.h"
#include "engine_client/engine_files.h"
#include "platform/backend.h"
#include "platform/launcher.h"
#include "platform/process_table.h"
#include "platform/screen.h"
#include "playback/session.h"
#include "playback/shutdown_notice.h"

namespace pelmora::app {

namespace {

class FormHost final : public playback::SessionHost {
 public:
  explicit FormHost(BA1& window) : window_(window) {}
  void balloon(const std::string& text) override { window_.balloon(text); }
  void set_status(const std::string& text) override { window_.show_status(text); }
  void show_next_notice() override { window_.next_s.set_visible(true); }
  void show_episode_list(const std::string& url) override { window_.Web5.navigate(url); }
  void show_web_player(const std::string& url) override { window_.Web2.navigate(url); }
  void set_title(const std::string& title) override { window_.show_title(title); }
  void start_terminal(bool read_settings) override {
    if (window_.terminal_running()) return;
    if (read_settings) {
      window_.read_player_dir();
      if (!window_.player_dir.empty()) window_.start_terminal();
      return;
    }
    // Here the folder is only what the window learned; the settings are not asked.
    if (window_.player_dir.empty()) return;
    window_.services().backend.pump_events();
    window_.start_terminal();
  }
  // The computer goes down only after the notice's count, which the user can cancel.
  void shut_down() override { window_.announce_shutdown(); }
  bool shutdown_armed() const override { return window_.shutdown_armed(); }
  void show_picture(bool picture) override { window_.show_picture(picture, false); }
  void refresh() override {
    // A web-kind episode's page plays; the player's area is not on view.
    if (window_.loaded()) window_.Timer1_Timer();
  }
  void show_finished() override { window_.show_finished(); }
  void play_link(const std::string& link) override { window_.play_episode_link(link); }

 private:
  BA1& window_;
};

}  // namespace

struct BA1::PlaybackParts {
  explicit PlaybackParts(BA1& window)
      : host(window),
        session(window.services().player_engine.create(), window.services().http,
                window.list_place(), window.settings_store, window.config().service_url, host,
                playback::SessionTimers{window.Timer1, window.Timer2, window.Timer4,
                                        window.load_watch}) {}
  FormHost host;
  playback::Session session;
  playback::ShutdownNotice notice;
};

void BA1::PlaybackPartsDeleter::operator()(PlaybackParts* parts) const {
  delete parts;
}

void BA1::wire_session() {
  playback_.reset(new PlaybackParts(*this));
  // The page the player shows as its advert area.
  playback_->session.set_ad_page(service_url("js/ads/qvodad.html"));
}

playback::Session& BA1::session() {
  return playback_->session;
}

const playback::Session& BA1::session() const {
  return playback_->session;
}

playback::ShutdownNotice& BA1::shutdown_notice() {
  return playback_->notice;
}

void BA1::announce_shutdown() {
  playback::ShutdownNotice& notice = playback_->notice;
  if (notice.backend() == nullptr) {
    services().backend.attach(notice);
    exit_forms.push_back(&notice);
    notice.on_elapsed = [this] { shut_down(true); };
    notice.on_cancelled = [this] { cancel_shutdown(); };
  }
  notice.set_twips_per_pixel(twips_per_pixel());
  notice.start(services().screen.geometry());
}

void BA1::cancel_shutdown() {
  if (disarm_shutdown) {
    disarm_shutdown();
  } else {
    quxiao_Click();
  }
  show_status("已取消自动关机");
}

bool BA1::plays_network_item() const {
  return session().list_of_current() == lists::kNetworkList;
}

bool BA1::plays_web_page() const {
  return session().web_kind();
}

bool BA1::terminal_running() {
  return platform::find_process(services().processes, playback::engine::kTerminalProgram) != 0;
}

void BA1::start_terminal() {
  services().launcher.start_program(
      player_dir + std::string(playback::engine::kTerminalProgram),
      playback::engine::terminal_arguments(settings_store.get().end_engine, service_url("")));
}

void BA1::show_title(const std::string& title) {
  chrome.title = title;
  bo_name.set_caption(title);
}

void BA1::show_status(const std::string& text) {
  zhun.set_caption(text);
}

bool BA1::has_player() const {
  return playback_ != nullptr && session().has_player();
}

}  // namespace pelmora::app
