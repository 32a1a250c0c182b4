#include "engine_client/engine_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "platform/program_folder.h"

#ifndef PELMORA_ENGINE_DIR
#define PELMORA_ENGINE_DIR "/usr/local/lib/pelmora"
#endif

namespace pelmora::platform::engine_program {

namespace {

bool executable_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The target of the symbolic link at `path`, or nothing when it is no link.
std::optional<std::string> link_target(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
  if (length < 0) return std::nullopt;
  return std::string(target, static_cast<std::size_t>(length));
}

}  // namespace

std::string terminal_program() {
  std::vector<std::string> places;
  if (const char* chosen = std::getenv("PELMORA_ENGINE_PROGRAM");
      chosen != nullptr && chosen[0] != '\0') {
    if (chosen[0] == '/') places.emplace_back(chosen);
  } else {
    if (const std::string beside = executable_folder(); !beside.empty()) {
      places.push_back(files::join(beside, kTerminalName));
      // An installed program in PREFIX/bin finds the terminal in PREFIX/lib/pelmora, wherever
      // the package or `cmake --install` put PREFIX.
      places.push_back(files::join(beside, std::string("../lib/pelmora/") + kTerminalName));
    }
    places.push_back(files::join(PELMORA_ENGINE_DIR, kTerminalName));
  }
  for (const std::string& place : places) {
    if (!executable_file(place)) continue;
    char resolved[PATH_MAX];
    return ::realpath(place.c_str(), resolved) != nullptr ? std::string(resolved) : place;
  }
  return {};
}

bool link_terminal(const std::string& player_folder, const std::string& program) {
  const std::string link = files::join(player_folder, kTerminalName);
  struct stat info {};
  const bool present = ::lstat(link.c_str(), &info) == 0;
  if (present && !S_ISLNK(info.st_mode)) return S_ISREG(info.st_mode);
  if (program.empty() || program.front() != '/') return present && executable_file(link);
  if (present && link_target(link) == program) return true;
  // Made beside the place and renamed over it, so the name always leads to a terminal.
  const std::string fresh = link + ".new-" + std::to_string(::getpid());
  ::unlink(fresh.c_str());
  if (::symlink(program.c_str(), fresh.c_str()) != 0) return present && executable_file(link);
  if (::rename(fresh.c_str(), link.c_str()) != 0) {
    ::unlink(fresh.c_str());
    return present && executable_file(link);
  }
  return true;
}

std::string own_identity() {
  std::ifstream in("/proc/self/stat");
  std::string stat;
  if (!std::getline(in, stat)) return "none";
  // The fields after the name (which may hold anything) start with the state, field 3; the
  // start time is field 22.
  const std::size_t name_end = stat.rfind(')');
  if (name_end == std::string::npos) return "none";
  std::istringstream fields(stat.substr(name_end + 1));
  std::string field;
  for (int index = 3; index <= 22 && fields >> field; ++index) {
    if (index == 22) return std::to_string(::getpid()) + ":" + field;
  }
  return "none";
}

}  // namespace pelmora::platform::engine_program
