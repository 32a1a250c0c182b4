// The road of one click: an episode link in the catalogue pane, through the resource request
// to the demo service on loopback, the play link, the player's Play, the history record and its
// page, with a history list of 101 records.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/startup.h"
#include "demo_service.h"
#include "lists/list_files.h"
#include "platform/curl/curl_fetch.h"
#include "platform/files.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace pelmora;

void BM_LinkRoadToPlay(benchmark::State& state) {
  service::DemoService demo(service::ServiceOptions{});
  if (!demo.start()) {
    state.SkipWithError("cannot start the demo service");
    return;
  }
  const auto folder =
      std::filesystem::temp_directory_path() / ("pelmora-bench-road-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::string list;
  for (int id = 1000; id < 1101; ++id) {
    list += std::to_string(id) + "|%u540D|%u7B2C1%u96C6|http%3A//127.0.0.1/x.mp4|1|1|30\r\n";
  }
  list += "\r\n";
  platform::files::write_atomic((folder / "date.dat").string(), list);
  platform::files::write_atomic((folder / "date_f.dat").string(), "\r\n");

  const std::string base = demo.base_url();
  const auto config = app::Configuration::load(folder.string(), [&](const char* name) {
    return std::string_view(name) == "PELMORA_SERVICE_URL" ? base.c_str() : nullptr;
  });
  headless::HeadlessPlatform headless;
  platform::CurlFetch http(
      [&headless](std::function<void()> task) { headless.backend.post(std::move(task)); }, 5000,
      15000);
  const platform::Services services = headless.services(http);
  app::prepare_settings(folder.string(), headless.adapters, headless.backend);
  app::BA1 window(services, config, folder.string(), "");
  headless.backend.attach(window);
  window.load();
  auto* player = headless.player_engine.last_created();

  for (auto _ : state) {
    window.Web1.navigate("razavov://101-1-2-%u5C71%u6D77%u4E4B%u95F4/");
    // The event loop's part: the reply comes back and its handler plays the episode.
    while (http.busy() && headless.backend.wait_for_posted(std::chrono::seconds(20))) {
      headless.backend.run_posted();
    }
    if (player == nullptr || player->calls.empty() || player->calls.back() != "Play") {
      state.SkipWithError("the episode did not play");
      break;
    }
    player->calls.clear();
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LinkRoadToPlay)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
