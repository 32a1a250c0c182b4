#include "support/main_window_fixture.h"

#include "playback/session.h"

#include "app/settings_store.h"

namespace pelmora::testing {

MainWindowTest::MainWindowTest() {
  const std::string base = service.base_url();
  config = app::Configuration::load(folder.path(), [base](const char* name) -> const char* {
    static std::string value;
    if (std::string_view(name) == "PELMORA_SERVICE_URL") {
      value = base;
      return value.c_str();
    }
    return nullptr;
  });
  services = std::make_unique<platform::Services>(headless.services(http));
  app::prepare_settings(folder.path(), headless.adapters, headless.backend);
  lists::ensure_list(folder.path(), lists::kNetworkList);
  lists::ensure_list(folder.path(), lists::kLocalList);
}

MainWindowTest::~MainWindowTest() = default;

void MainWindowTest::lay_out(app::BA1& ba1) {
  const platform::Rect work = headless.screen.work_area();
  ba1.hook_minmax(0, 0, work.width, work.height);
  ba1.p_p(0);
  ba1.raise_resize();
}

void MainWindowTest::click_on(app::BA1& ba1, const platform::Control& control) {
  const platform::Rect place = ba1.form_rect(control);
  ba1.pointer().click(place.left + place.width / 2, place.top + place.height / 2);
}

app::BA1& MainWindowTest::open_window(const std::string& command_line) {
  window = std::make_unique<app::BA1>(*services, config, folder.path(), command_line);
  headless.backend.attach(*window);
  window->load();
  return *window;
}

void MainWindowTest::settle(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    headless.backend.run_posted();
    if (!http.busy()) return;
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::milliseconds(0) ||
        !headless.backend.wait_for_posted(
            std::chrono::duration_cast<std::chrono::milliseconds>(left))) {
      ADD_FAILURE() << "a request was still unanswered after " << limit.count() << " ms";
      return;
    }
  }
}

std::string MainWindowTest::playing_file(const app::BA1& ba1) {
  const auto* file = std::get_if<playback::LocalFile>(&ba1.session().current());
  return file != nullptr ? file->path : std::string();
}

std::string MainWindowTest::playing_episode(const app::BA1& ba1) {
  const playback::Episode* episode = ba1.session().episode();
  return episode != nullptr ? episode->text : "0";
}

void MainWindowTest::play_network_episode(app::BA1& ba1, const std::string& episode,
                                          const std::string& id, const std::string& address) {
  playback::Start start;
  start.item = playback::NetworkEpisode{playback::Episode::of(episode), id};
  start.address = address;
  ba1.session().start(std::move(start));
}

void MainWindowTest::play_local_file(app::BA1& ba1, const std::string& path) {
  playback::Start start;
  start.item = playback::LocalFile{path};
  start.address = path;
  ba1.session().start(std::move(start));
}

headless::ScriptedPlayer& MainWindowTest::player() {
  return *static_cast<headless::ScriptedPlayer*>(window->session().player());
}

std::string MainWindowTest::setting(std::string_view section, std::string_view key) {
  return settings::read_ini(settings::settings_path(folder.path()), section, key);
}

void MainWindowTest::set_setting(std::string_view section, std::string_view key,
                                 std::string_view value) {
  settings::write_ini(settings::settings_path(folder.path()), section, key, value);
}

}  // namespace pelmora::testing
