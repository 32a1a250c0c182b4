// How fast the next episode starts: from the end of an episode (autoplay on, the next episode
// prepared) to the first picture of the next, against a cold start of the same episode by a
// click on its link. The window runs on the headless backend with its timers on the real clock,
// the player is libmpv (without a screen: the first picture is the moment mpv has decoded it and
// playback begins), the demo service serves two short clips on loopback.
// Usage: next_episode_timing [RUNS]   (prints the medians in milliseconds)
#include <spawn.h>
#include <sys/wait.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/startup.h"
#include "catalogue.h"
#include "demo_service.h"
#include "lists/list_files.h"
#include "platform/curl/curl_fetch.h"
#include "platform/headless/headless_platform.h"
#include "platform/player/mpv_engine.h"
#include "playback/session.h"

extern char** environ;

namespace {

using namespace pelmora;

bool make_clip(const std::string& path, int seconds) {
  const std::string length = std::to_string(seconds);
  std::vector<std::string> words = {"ffmpeg",
                                    "-nostdin",
                                    "-y",
                                    "-loglevel",
                                    "error",
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "testsrc=size=640x360:rate=25:duration=" + length,
                                    "-f",
                                    "lavfi",
                                    "-i",
                                    "sine=frequency=440:duration=" + length,
                                    "-c:v",
                                    "mpeg4",
                                    "-q:v",
                                    "5",
                                    "-c:a",
                                    "aac",
                                    "-shortest",
                                    path};
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  QCoreApplication application(argc, argv);
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() /
      ("pelmora-next-" + std::to_string(QCoreApplication::applicationPid()));
  std::filesystem::create_directories(work / "media");
  std::filesystem::create_directories(work / "home");
  const service::Catalogue& catalogue = service::Catalogue::builtin();
  const service::Programme* programme = catalogue.programme(101);
  if (programme == nullptr || programme->sources.empty()) return 1;
  for (int episode = 1; episode <= 2; ++episode) {
    const std::string file = service::clip_file(*programme, programme->sources[0], episode);
    if (!make_clip((work / "media" / file).string(), 8)) {
      std::fprintf(stderr, "ffmpeg could not make the clips\n");
      return 1;
    }
  }
  service::ServiceOptions options;
  options.media_folder = work / "media";
  service::DemoService demo(options);
  if (!demo.start(0)) return 1;

  headless::HeadlessPlatform headless;
  const std::string home = (work / "home").string();
  const std::string base = demo.base_url();
  const app::Configuration config =
      app::Configuration::load(home, [base](const char* name) -> const char* {
        return std::string_view(name) == "PELMORA_SERVICE_URL" ? base.c_str() : nullptr;
      });
  platform::CurlFetch http{
      [&](std::function<void()> task) { headless.backend.post(std::move(task)); }, 2000, 5000};
  platform::qt::MpvEngine engine{
      {platform::qt::MpvVideoOutput::kNone, platform::qt::MpvAudioOutput::kNone, {}}};
  platform::Services services{headless.backend,   headless.backend,  http,
                              headless.processes, headless.launcher, headless.dialogs,
                              headless.tray,      headless.channel,  headless.power,
                              headless.screen,    headless.adapters, engine};
  app::prepare_settings(home, headless.adapters, headless.backend);
  lists::ensure_list(home, lists::kNetworkList);
  lists::ensure_list(home, lists::kLocalList);
  const std::string ini = settings::settings_path(home);
  settings::write_ini(ini, "S_q", "s_h", "2");
  settings::write_ini(ini, "S_q", "s_bo", "2");
  settings::write_ini(ini, "S_q", "s_pao", "1");
  app::BA1 window(services, config, home, "");
  headless.backend.attach(window);
  window.load();
  platform::PlayerControl* player = window.session().player();

  QElapsedTimer clock;
  clock.start();
  qint64 advanced = 0;
  // Runs the event loop and the window's timers on the real clock until `done` or 20 s.
  auto run_until = [&](auto done) {
    const qint64 limit = clock.elapsed() + 20000;
    while (!done() && clock.elapsed() < limit) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
      headless.backend.run_posted();
      const qint64 now = clock.elapsed();
      headless.backend.advance(now - advanced);
      advanced = now;
    }
    return done();
  };
  auto playing = [&](int episode) {
    const std::string file = service::clip_file(*programme, programme->sources[0], episode);
    const std::string address = player->media_address();
    return address.size() >= file.size() &&
           address.compare(address.size() - file.size(), file.size(), file) == 0 &&
           player->play_state() == platform::PlayState::kPlaying;
  };

  std::vector<double> cold, cold_play, next, play_to_frame;
  for (int run = 0; run < runs; ++run) {
    // A cold start of episode 2 by a click on its link.
    window.bo_but_Click(1);
    player->set_media_address("");  // so that the moment the click's Play comes is seen
    qint64 start = clock.elapsed();
    window.Web1.navigate(service::episode_link(*programme, programme->sources[0].number, 2));
    qint64 cold_asked = 0;
    if (!run_until([&] {
          if (cold_asked == 0 && player->media_address().find("e02") != std::string::npos) {
            cold_asked = clock.elapsed();
          }
          return playing(2);
        })) {
      return 2;
    }
    cold.push_back(static_cast<double>(clock.elapsed() - start));
    cold_play.push_back(static_cast<double>(clock.elapsed() - cold_asked));
    window.bo_but_Click(1);

    // Episode 1 near its end, episode 2 prepared; from its end to episode 2's first picture.
    window.Web1.navigate(service::episode_link(*programme, programme->sources[0].number, 1));
    if (!run_until([&] {
          return playing(1) &&
                 window.session().next().state == playback::NextEpisode::State::kBuffering;
        }))
      return 3;
    const qint64 settle = clock.elapsed() + 1000;
    run_until([&] { return clock.elapsed() >= settle; });
    player->set_position(player->duration() - 2);
    if (!run_until([&] { return player->play_state() == platform::PlayState::kReady; })) return 4;
    const qint64 ended = clock.elapsed();
    qint64 asked = 0;
    if (!run_until([&] {
          if (asked == 0 && player->media_address() != "" && !playing(1) &&
              player->media_address().find("e02") != std::string::npos) {
            asked = clock.elapsed();
          }
          return playing(2);
        })) {
      return 5;
    }
    next.push_back(static_cast<double>(clock.elapsed() - ended));
    if (asked > 0) play_to_frame.push_back(static_cast<double>(clock.elapsed() - asked));
    std::fprintf(stderr, "run %d: cold %.0f ms, end to next %.0f ms (Play to picture %.0f ms)\n",
                 run + 1, cold.back(), next.back(),
                 play_to_frame.empty() ? 0.0 : play_to_frame.back());
  }
  window.bo_but_Click(1);
  std::printf("medians over %d runs\n", runs);
  std::printf("cold start of episode 2 by a click to its first picture   %6.0f ms\n", median(cold));
  std::printf(
      "end of episode 1 to the first picture of episode 2        %6.0f ms  (%.2fx the cold "
      "start)\n",
      median(next), median(cold) > 0 ? median(next) / median(cold) : 0.0);
  std::printf(
      "  of which the prepared episode's Play to its picture     %6.0f ms  (%.2fx the cold "
      "start)\n",
      median(play_to_frame), median(cold) > 0 ? median(play_to_frame) / median(cold) : 0.0);
  std::printf("  the cold start's Play to its picture                    %6.0f ms\n",
              median(cold_play));
  demo.stop();
  std::filesystem::remove_all(work);
  return 0;
}
