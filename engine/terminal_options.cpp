#include "terminal_options.h"

#include <unistd.h>

#include <filesystem>

namespace pelmora::engine {
namespace fs = std::filesystem;

const char* const kTerminalUsage = R"(Usage: QvodTerminal.exe [options]
The player engine's terminal: downloads and shares qvod:// items and streams them to the player
on 127.0.0.1. One runs per user; a second start hands its options to the first and ends.

  --player-folder DIR  the folder of QvodPlayer.xml (Defaultsavepath: the download folder) and of
                       the engine's state (default: the folder this program was started from)
  --service URL        the service (default $PELMORA_SERVICE_URL, else http://127.0.0.1:8750/)
  --seed DIR           also share every file in DIR (may be given more than once)
  --listen-port N      the port for peers (default: any free port)
  --listen-all         accept peers on every interface (default: 127.0.0.1 only)
  --no-web-seed        never fetch from the service's web seed
  --no-peers           never use the tracker or other peers
  --source-timeout S   seconds without any source before an item fails (default 30)
  --download-limit K   at most K KB/s for each item (default: no limit)
  --startup-time MS    a playing item fetches only the first pieces its player reads until MS
                       after its first read (default 1000)
  --end-with PID:START end when that process (started START clock ticks after boot) has ended;
                       "none": run on after it. A second start hands this to the running one
  --help               this text
)";

namespace {

std::string with_slash(std::string url) {
  if (!url.empty() && url.back() != '/') url += '/';
  return url;
}

std::string absolute_from(const std::string& path, const std::string& base) {
  if (path.empty()) return base;
  const fs::path p(path);
  return (p.is_absolute() ? p : fs::path(base) / p).lexically_normal().string();
}

std::string without_slash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool whole_number(const std::string& text, int low, int high, int& value) {
  if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != text.npos) {
    return false;
  }
  value = std::stoi(text);
  return value >= low && value <= high;
}

}  // namespace

std::string invoked_folder(const std::string& program, const std::string& cwd,
                           const std::string& path_env) {
  if (program.find('/') != std::string::npos) {
    return without_slash(absolute_from(fs::path(program).parent_path().string(), cwd));
  }
  std::size_t start = 0;
  while (start <= path_env.size()) {
    std::size_t end = path_env.find(':', start);
    if (end == std::string::npos) end = path_env.size();
    const std::string dir = path_env.substr(start, end - start);
    const std::string candidate = (dir.empty() ? cwd : absolute_from(dir, cwd)) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) {
      return without_slash(absolute_from(dir.empty() ? cwd : dir, cwd));
    }
    start = end + 1;
  }
  return without_slash(cwd);
}

std::string download_folder(const std::string& configured, const std::string& player_folder,
                            const std::string& fallback) {
  return without_slash(absolute_from(configured.empty() ? fallback : configured, player_folder));
}

ParsedOptions parse_terminal_options(const std::vector<std::string>& args,
                                     const std::string& program, const std::string& cwd,
                                     const std::string& service_env, const std::string& path_env) {
  ParsedOptions parsed;
  TerminalOptions options;
  std::string player_folder;
  std::string service;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      return parsed;
    }
    if (arg == "--no-web-seed") {
      options.web_seed = false;
      continue;
    }
    if (arg == "--no-peers") {
      options.peers = false;
      continue;
    }
    if (arg == "--listen-all") {
      options.listen_interface = "0.0.0.0";
      continue;
    }
    if (i + 1 >= args.size()) {
      parsed.message = "unknown option or missing value: " + arg;
      return parsed;
    }
    const std::string& value = args[++i];
    if (arg == "--player-folder") {
      if (value.empty()) {
        parsed.message = "empty --player-folder";
        return parsed;
      }
      player_folder = value;
    } else if (arg == "--service") {
      if (!value.starts_with("http://") && !value.starts_with("https://")) {
        parsed.message = "the service must be an http address";
        return parsed;
      }
      service = value;
      options.service_given = true;
    } else if (arg == "--seed") {
      options.seed_folders.push_back(without_slash(absolute_from(value, cwd)));
    } else if (arg == "--end-with") {
      bool valid = false;
      options.end_with = parse_watched_program(value, valid);
      if (!valid) {
        parsed.message = "bad --end-with";
        return parsed;
      }
      options.end_with_given = true;
    } else if (arg == "--listen-port") {
      if (!whole_number(value, 0, 65535, options.listen_port)) {
        parsed.message = "bad --listen-port";
        return parsed;
      }
    } else if (arg == "--download-limit") {
      if (!whole_number(value, 0, 1000000, options.download_limit_kb)) {
        parsed.message = "bad --download-limit";
        return parsed;
      }
    } else if (arg == "--startup-time") {
      if (!whole_number(value, 0, 60000, options.startup_ms)) {
        parsed.message = "bad --startup-time";
        return parsed;
      }
    } else if (arg == "--source-timeout") {
      if (!whole_number(value, 1, 3600, options.source_timeout_seconds)) {
        parsed.message = "bad --source-timeout";
        return parsed;
      }
    } else {
      parsed.message = "unknown option: " + arg;
      return parsed;
    }
  }
  options.player_folder = player_folder.empty() ? invoked_folder(program, cwd, path_env)
                                                : without_slash(absolute_from(player_folder, cwd));
  if (service.empty()) service = service_env.empty() ? "http://127.0.0.1:8750/" : service_env;
  options.service_url = with_slash(service);
  parsed.options = options;
  return parsed;
}

}  // namespace pelmora::engine
