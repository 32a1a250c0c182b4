#include "platform/program_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
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

// An executable in a folder named "bin" has been installed (from the package or by `cmake
// --install`): that folder belongs to the system even where this user may write to it (root),
// and the program's files go to the user's data folder instead.
bool installed(const std::string& folder) {
  return folder == "/bin" || folder.ends_with("/bin");
}

}  // namespace

namespace {

// Why `folder` cannot hold the program's files, after trying to create it; empty when it can.
std::string unusable(const std::string& folder) {
  files::make_directories(folder);
  if (files::is_writable_directory(folder)) return {};
  if (files::exists(folder) && !files::is_directory(folder)) return "a file is in its place";
  if (files::is_directory(folder)) return "it is not writable";
  return "it cannot be created";
}

// A folder that already holds the program's settings is the program's folder even where nothing
// can be written (a read-only medium or mount): its settings and lists are read from it, and
// start-up says that changes cannot be saved there. Falling back would start afresh and show
// none of them.
bool holds_settings(const std::string& folder) {
  return files::is_directory(folder) && files::is_regular_file(files::join(folder, "config.dll"));
}

}  // namespace

std::string resolve_program_folder(std::string_view home_override) {
  std::string data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
    data_home = xdg;
  } else {
    data_home = home_folder() + "/.local/share";
  }
  const std::string data_folder = files::join(data_home, "pelmora");

  if (!home_override.empty()) {
    const std::string folder(home_override);
    const std::string problem = unusable(folder);
    if (problem.empty() || holds_settings(folder)) return folder;
    // Settings and lists that cannot be kept would read as "0" on every start.
    std::fprintf(stderr, "pelmora: cannot use %s as the program folder (%s); using %s\n",
                 folder.c_str(), problem.c_str(), data_folder.c_str());
  } else if (const std::string beside = executable_folder();
             !beside.empty() && !installed(beside) &&
             (files::is_writable_directory(beside) || holds_settings(beside))) {
    return beside;
  }
  if (const std::string problem = unusable(data_folder); !problem.empty()) {
    std::fprintf(stderr, "pelmora: cannot use %s as the program folder (%s); nothing is kept\n",
                 data_folder.c_str(), problem.c_str());
    return data_folder;
  }
  // The program's own folder holds the history of what was played: the user's alone.
  struct stat info {};
  if (::stat(data_folder.c_str(), &info) == 0 && info.st_uid == ::getuid() &&
      (info.st_mode & 077) != 0) {
    ::chmod(data_folder.c_str(), 0700);
  }
  return data_folder;
}

}  // namespace pelmora::platform
