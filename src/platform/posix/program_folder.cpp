#include "platform/program_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/files.h"

namespace pelmora::platform {

std::string executable_folder() {
  char target[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target - 1);
  if (length <= 0) return {};
  std::string path(target, static_cast<std::size_t>(length));
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

namespace {

std::string home_folder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/tmp";
}

}  // namespace

std::string resolve_program_folder(std::string_view home_override) {
  if (!home_override.empty()) {
    const std::string folder(home_override);
    files::make_directories(folder);
    return folder;
  }
  if (const std::string beside = executable_folder();
      !beside.empty() && files::is_writable_directory(beside)) {
    return beside;
  }
  std::string data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    data_home = xdg;
  } else {
    data_home = home_folder() + "/.local/share";
  }
  const std::string folder = files::join(data_home, "pelmora");
  files::make_directories(folder);
  return folder;
}

}  // namespace pelmora::platform
