// What one second of playback costs the window: one tick of the status monitor while an episode
// plays, on the headless backend (status line, time display, thumb, download bar and the
// play / pause button, all read from a scripted player).
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "app/configuration.h"
#include "app/main_window.h"
#include "platform/headless/headless_platform.h"
#include "platform/http_fetch.h"
#include "playback/session.h"

namespace {

namespace fs = std::filesystem;
using namespace pelmora;

class BenchFolder {
 public:
  BenchFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = (fs::temp_directory_path() / ("pelmora-bench-" + std::to_string(stamp))).string();
    fs::create_directories(path_);
  }
  ~BenchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// No service is reached while an episode plays; a request is never answered.
class NoFetch final : public platform::HttpFetch {
 public:
  RequestId start(const std::string&, Reply) override { return ++last_; }
  void cancel(RequestId) override {}
  bool pending(RequestId) const override { return false; }
  bool busy() const override { return false; }
  void cancel_all() override {}

 private:
  RequestId last_ = 0;
};

void BM_StatusMonitorTick(benchmark::State& state) {
  BenchFolder folder;
  headless::HeadlessPlatform headless;
  NoFetch fetch;
  const platform::Services services = headless.services(fetch);
  const app::Configuration config =
      app::Configuration::load(folder.path(), [](const char*) -> const char* { return nullptr; });
  app::BA1 window(services, config, folder.path(), "");
  headless.backend.attach(window);
  window.load();
  // Let the one-shot start-up timers run before measuring.
  headless.backend.advance(10000);
  window.gunt.move(0, 0, 600, 8);
  window.gunt1.move(0, 0, 12, 8);
  window.qvod.move(0, 0, 800, 500);

  auto& player = *static_cast<headless::ScriptedPlayer*>(window.session().player());
  player.address = "qvod://734003200|9F3C2A|episode.rmvb|";
  player.state = platform::PlayState::kPlaying;
  player.duration_s = 2640;
  player.transfer_kbs = 120;
  player.stream_kbps = 900;
  player.permille = 480;  // below the mark where the next episode is asked for
  int position = 600;
  for (auto _ : state) {
    player.position_s = position;
    position = position < 2000 ? position + 1 : 600;
    window.Timer1_Timer();
    benchmark::DoNotOptimize(window.times.caption().data());
  }
}
BENCHMARK(BM_StatusMonitorTick);

}  // namespace
