// pelmora-demo-service: the stand-in for Pelmora's online service, on 127.0.0.1 only.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "demo_service.h"
#include "media_files.h"

namespace {

using pelmora::service::ServiceOptions;

constexpr std::string_view kUsage = R"(Usage: pelmora-demo-service [options]
Serves the Pelmora demo catalogue on http://127.0.0.1:PORT/ until interrupted.

  --port N             port to listen on (default 8750)
  --data DIR           folder of the demo clips made by scripts/make-demo-media.sh
                       (default $XDG_DATA_HOME/pelmora/demo-media, ~/.local/share/... without it)
  --wen-exit V         lib/wen.txt field 1, exit recommendation flag (default 0)
  --wen-float V        lib/wen.txt field 2, floating promotion flag (default 0)
  --wen-advert V       lib/wen.txt field 3, advert flag (default 0)
  --wen-version V      lib/wen.txt field 4, latest version (default 3.0)
  --end-marker URL     where the web player page goes when a clip ends
                       (default http://pelmora-end.invalid/)
  --fail MODE[:ID-V-V1]
                       make h.asp misbehave, for every episode or for one; MODE is one of
                       0, 1, empty, garbage, 500, hang (may be given more than once)
  --hang-seconds N     how long a hanging h.asp request waits (default 20, at most 600)
  --corrupt-web-seed   the player engine's web seed (qvod/NAME) sends wrong bytes
  --help               this text
)";

std::string default_media_folder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    return std::string(data) + "/pelmora/demo-media";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::string(home) + "/.local/share/pelmora/demo-media";
  }
  return "demo-media";
}

// How many clips of the catalogue the media folder lacks; the pages are served regardless.
int missing_clips(const std::filesystem::path& folder) {
  using pelmora::service::MediaLookup;
  int missing = 0;
  for (const auto& programme : pelmora::service::Catalogue::builtin().programmes) {
    for (const auto& source : programme.sources) {
      for (int episode = 1; episode <= source.episodes; ++episode) {
        const auto clip = pelmora::service::clip_file(programme, source, episode);
        if (pelmora::service::find_media(folder, clip).result != MediaLookup::Result::found) {
          ++missing;
        }
      }
    }
  }
  return missing;
}

int usage_error(std::string_view message) {
  std::cerr << "pelmora-demo-service: " << message << "\n" << kUsage;
  return 2;
}

bool whole_number(std::string_view text, int low, int high, int& value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos) {
    return false;
  }
  value = std::stoi(std::string(text));
  return value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  ServiceOptions options;
  options.media_folder = default_media_folder();
  int port = 8750;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--corrupt-web-seed") {
      options.corrupt_web_seed = true;
      continue;
    }
    if (i + 1 >= argc) return usage_error("unknown option or missing value: " + std::string(arg));
    const std::string_view value = argv[++i];
    std::string* update_field = nullptr;
    if (arg == "--port") {
      if (!whole_number(value, 1, 65535, port)) return usage_error("bad port");
    } else if (arg == "--data") {
      options.media_folder = std::string(value);
    } else if (arg == "--wen-exit") {
      update_field = &options.update.exit_recommendation;
    } else if (arg == "--wen-float") {
      update_field = &options.update.floating_promotion;
    } else if (arg == "--wen-advert") {
      update_field = &options.update.advert;
    } else if (arg == "--wen-version") {
      update_field = &options.update.version;
    } else if (arg == "--end-marker") {
      if (!value.starts_with("http://") && !value.starts_with("https://")) {
        return usage_error("the end marker must be an http address");
      }
      options.end_marker = std::string(value);
    } else if (arg == "--fail") {
      const auto rule = pelmora::service::parse_failure_rule(value);
      if (!rule) return usage_error("bad --fail value: " + std::string(value));
      options.failures.push_back(*rule);
    } else if (arg == "--hang-seconds") {
      int seconds = 0;
      if (!whole_number(value, 0, 600, seconds)) return usage_error("bad --hang-seconds");
      options.hang_time = std::chrono::seconds(seconds);
    } else {
      return usage_error("unknown option: " + std::string(arg));
    }
    if (update_field) {
      if (!pelmora::service::usable_update_field(value)) {
        return usage_error("a lib/wen.txt field may not contain '=' or a line break");
      }
      *update_field = std::string(value);
    }
  }

  // Block the stop signals in every thread; the main thread waits for them below.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  const std::string media_folder = options.media_folder.string();
  pelmora::service::DemoService service(std::move(options));
  if (!service.start(port)) {
    std::cerr << "pelmora-demo-service: cannot listen on 127.0.0.1:" << port << "\n";
    return 1;
  }
  std::cout << "pelmora-demo-service: serving " << service.base_url() << " (clips from "
            << media_folder << ")" << std::endl;
  if (const int missing = missing_clips(media_folder); missing > 0) {
    std::cerr << "pelmora-demo-service: " << missing << " clips are missing; make them with "
              << "scripts/make-demo-media.sh " << media_folder << "\n";
  }
  int received = 0;
  sigwait(&stop_signals, &received);
  service.stop();
  return 0;
}
