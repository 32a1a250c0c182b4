#pragma once

#include <optional>
#include <string>
#include <vector>

#include "program_watch.h"

namespace pelmora::engine {

// The terminal's command line.
struct TerminalOptions {
  std::string player_folder;  // holds QvodPlayer.xml and the engine's state
  std::string service_url;    // ends with "/"
  bool service_given = false;
  std::vector<std::string> seed_folders;
  int listen_port = 0;
  bool web_seed = true;
  bool peers = true;
  int source_timeout_seconds = 30;
  int download_limit_kb = 0;  // KB/s per item, 0: none
  int startup_ms = 1000;      // a playing item's start-up phase after its first read
  std::string listen_interface = "127.0.0.1";
  // The program whose end ends the terminal (nothing: it runs on), when the start said so.
  bool end_with_given = false;
  std::optional<WatchedProgram> end_with;
};

struct ParsedOptions {
  std::optional<TerminalOptions> options;  // nothing: `message` says what is wrong (or help)
  std::string message;
  bool help = false;
};

// `args` without the program name; `program` is argv[0] as invoked, `cwd` the working folder,
// `service_env` the value of PELMORA_SERVICE_URL (empty when unset), `path_env` of PATH.
ParsedOptions parse_terminal_options(const std::vector<std::string>& args,
                                     const std::string& program, const std::string& cwd,
                                     const std::string& service_env, const std::string& path_env);

// The folder of the program as it was invoked: symbolic links are not followed, so a link to the
// terminal in a user's own folder makes that folder the player folder.
std::string invoked_folder(const std::string& program, const std::string& cwd,
                           const std::string& path_env);

// The download folder named by `configured` (from QvodPlayer.xml): relative names are taken from
// the player folder, an empty one gives `fallback`. No trailing "/".
std::string download_folder(const std::string& configured, const std::string& player_folder,
                            const std::string& fallback);

extern const char* const kTerminalUsage;

}  // namespace pelmora::engine
