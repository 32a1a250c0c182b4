// How fast the next episode follows the end of one when it plays through the download engine:
// the real program (in this process, on the screen DISPLAY names) with its engine terminal and
// the demo service on loopback. An episode of each qvod programme is started; for every episode
// that follows, the next one is first downloaded ahead by PrepareNext, the playing one is moved
// to its last seconds, and the clock runs from its end to the first frame of the next.
// Prints, as medians over the transitions:
//   end to first frame   - from mpv reaching the end of the media to the next item's first frame
//                          (includes the wait for the end-of-playback step, Timer2, which the
//                          once-a-second monitor arms in the item's last two whole seconds)
//   step to first frame  - from the end-of-playback step (Timer2's tick, the program's end of the
//                          item) to the next item's first frame
//   play to first frame  - from the program starting the next item (its address set and Play
//                          called after the end-of-playback step) to its first frame
// Usage: engine_next_episode MEDIA-FOLDER   (bench/engine_next_bench.sh builds and runs it)
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "app/main_window.h"
#include "demo_service.h"
#include "desktop_program.h"
#include "engine_client/engine_stream_player.h"
#include "platform/browser/web_pane.h"
#include "platform/headless/recorders.h"
#include "platform/headless/scripted_dialogs.h"
#include "platform/player/mpv_player.h"
#include "playback/session.h"

extern "C" const char* __asan_default_options() {
  return "new_delete_type_mismatch=0:detect_leaks=0";
}

namespace {

namespace fs = std::filesystem;
using namespace pelmora;
using platform::PlayState;

template <typename Done>
bool wait_for(Done done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 2);
  return done();
}

std::string whole_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: engine_next_episode MEDIA-FOLDER\n");
    return 2;
  }
  const std::string media = argv[1];
  char work_template[] = "/tmp/pelmora-engine-bench-XXXXXX";
  const std::string work = ::mkdtemp(work_template);
  fs::create_directories(work + "/run");
  fs::permissions(work + "/run", fs::perms::owner_all);
  fs::create_directories(work + "/home/Qvod");
  const std::string downloads = work + "/downloads/";
  std::ofstream(work + "/home/Qvod/QvodPlayer.xml")
      << "<QvodPlayer>\r\n<Download Defaultsavepath=\"" << downloads << "\"/>\r\n</QvodPlayer>\r\n";
  ::setenv("XDG_RUNTIME_DIR", (work + "/run").c_str(), 1);
  ::setenv("HOME", work.c_str(), 1);
  ::setenv("PELMORA_ENGINE_PROGRAM", PELMORA_ENGINE_TERMINAL, 1);
  ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);

  service::ServiceOptions options;
  options.media_folder = media;
  service::DemoService demo(options);
  if (!demo.start()) return 1;
  ::setenv("PELMORA_SERVICE_URL", demo.base_url().c_str(), 1);

  register_program_links();
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  headless::ScriptedDialogs dialogs;
  headless::RecordingPower power;
  int status = 0;
  std::vector<double> from_end;
  std::vector<double> from_play;
  std::vector<double> from_step;
  std::vector<double> to_step;
  {
    DesktopProgram program({work + "/home", "", &dialogs, &power});
    if (!program.start()) return 1;
    app::BA1& ba1 = program.main_window();
    auto& player = *dynamic_cast<platform::qt::MpvPlayer*>(
        platform::qt::behind_streams(ba1.session().player()));
    auto frames = [&] { return player.frames_shown(); };
    auto playing = [&] { return player.play_state() == PlayState::kPlaying && frames() > 0; };
    wait_for([&] { return ba1.Pic1.visible(); }, 30000);
    // The end-of-playback step is timed where it starts: Timer2's tick.
    QElapsedTimer clock;
    qint64 step = -1;
    ba1.Timer2.on_timer = [&clock, &step, tick = ba1.Timer2.on_timer] {
      if (step < 0 && clock.isValid()) step = clock.elapsed();
      tick();
    };
    auto* web1 = dynamic_cast<platform::qt::WebPanePeer*>(ba1.Web1.peer());
    for (const char* first : {"razavov://101-1-1-", "razavov://102-1-1-"}) {
      wait_for([] { return false; }, 1000);
      web1->view()->page()->runJavaScript(
          QString("document.querySelector('a[href^=\"%1\"]').click();").arg(first));
      std::string last_next = player.prepared_next();
      for (;;) {
        if (!wait_for(playing, 60000)) {
          std::fprintf(stderr, "no playback: %s\n", ba1.zhun.caption().c_str());
          status = 1;
          break;
        }
        // The next episode handed to the engine, unless the programme has no more.
        // (Between items the prepared address may be cleared: only a new engine address counts.)
        auto handed_over = [&] {
          const std::string now = player.prepared_next();
          return now != last_next && now.starts_with("qvod://");
        };
        wait_for(
            [&] {
              return handed_over() ||
                     ba1.session().next().state == playback::NextEpisode::State::kNone;
            },
            30000);
        if (!handed_over()) break;
        const std::string next = last_next = player.prepared_next();
        // "qvod://SIZE|HASH|NAME|": the file's name is the last field.
        const std::size_t from = next.rfind('|', next.size() - 2) + 1;
        const std::string name = next.substr(from, next.size() - 1 - from);
        const std::string clip = whole_file(media + "/" + name);
        const std::string local = downloads + name;
        if (!wait_for([&] { return whole_file(local) == clip; }, 30000)) {
          std::fprintf(stderr, "the next episode was not downloaded ahead\n");
          status = 1;
          break;
        }
        const std::string current = player.media_address();
        player.set_position(player.duration() - 2);
        if (!wait_for([&] { return player.facts().eof_reached; }, 30000)) break;
        step = -1;
        clock.start();
        if (!wait_for([&] { return player.media_address() != current; }, 30000)) break;
        const qint64 switched = clock.elapsed();
        const int drawn = frames();
        if (!wait_for(
                [&] { return player.play_state() == PlayState::kPlaying && frames() > drawn; },
                30000)) {
          status = 1;
          break;
        }
        from_end.push_back(static_cast<double>(clock.elapsed()));
        from_play.push_back(static_cast<double>(clock.elapsed() - switched));
        from_step.push_back(static_cast<double>(clock.elapsed() - step));
        to_step.push_back(static_cast<double>(step));
        std::printf(
            "%s: end to first frame %lld ms (end-of-playback step after %lld ms, play after %lld "
            "ms), step to first frame %lld ms, play to first frame %lld ms\n",
            name.c_str(), static_cast<long long>(clock.elapsed()), static_cast<long long>(step),
            static_cast<long long>(switched), static_cast<long long>(clock.elapsed() - step),
            static_cast<long long>(clock.elapsed() - switched));
        std::fflush(stdout);
      }
      ba1.bo_but_Click(1);
    }
    ba1.bo_but_Click(1);
  }
  std::printf(
      "median over %zu transitions: end to first frame %.0f ms, end-of-playback step to first "
      "frame %.0f ms, play to first frame %.0f ms, end to the end-of-playback step %.0f ms\n",
      from_end.size(), median(from_end), median(from_step), median(from_play), median(to_step));
  // The terminal this run started ends with it.
  const std::string endpoint = whole_file(work + "/run/pelmora-engine.endpoint");
  if (!endpoint.empty()) {
    const std::string quit =
        "curl -s -m 3 '" + endpoint.substr(0, endpoint.find('\n')) + "quit' >/dev/null";
    (void)std::system(quit.c_str());
  }
  std::error_code ignored;
  fs::remove_all(work, ignored);
  return status;
}
