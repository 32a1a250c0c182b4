#include "platform/system/proc_process_table.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

namespace pelmora::platform {

namespace {

bool all_digits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

std::string base_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable's path from /proc/PID/exe, or empty when the link cannot be read.
std::string exe_link(const std::string& folder) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink((folder + "/exe").c_str(), target, sizeof target - 1);
  if (length <= 0) return {};
  std::string path(target, static_cast<std::size_t>(length));
  // A deleted executable is shown as "path (deleted)".
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
    path.resize(path.size() - kDeleted.size());
  }
  return path;
}

// The first word of /proc/PID/cmdline (argv[0]), for processes whose exe link is not readable.
std::string first_argument(const std::string& folder) {
  std::ifstream in(folder + "/cmdline", std::ios::binary);
  std::string argv0;
  std::getline(in, argv0, '\0');
  return argv0;
}

// The path the program was started by, when that differs from the file the kernel names only by
// symbolic links: an absolute argv[0] with the same base name that leads to the very same file.
// A program started through a link in its own folder (the engine's terminal in the player
// folder) is then known by that folder, not by the folder the link points into.
std::string invoked_path(const std::string& folder, const std::string& exe_path) {
  const std::string argv0 = first_argument(folder);
  if (argv0.empty() || argv0.front() != '/' || argv0 == exe_path) return exe_path;
  if (base_name(argv0) != base_name(exe_path)) return exe_path;
  struct stat invoked {};
  struct stat running {};
  if (::stat(argv0.c_str(), &invoked) != 0 || ::stat((folder + "/exe").c_str(), &running) != 0) {
    return exe_path;
  }
  const bool same = invoked.st_dev == running.st_dev && invoked.st_ino == running.st_ino;
  return same ? argv0 : exe_path;
}

// The value of XDG_RUNTIME_DIR in a process's environment (as it was started); empty when unset
// or unreadable.
std::string runtime_folder_of(const std::string& folder) {
  std::ifstream in(folder + "/environ", std::ios::binary);
  constexpr std::string_view kKey = "XDG_RUNTIME_DIR=";
  std::string entry;
  while (std::getline(in, entry, '\0')) {
    if (entry.starts_with(kKey)) return entry.substr(kKey.size());
  }
  return {};
}

// This program's runtime folder, the mark of the session it belongs to.
std::string own_runtime_folder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr ? runtime : "";
}

bool owned_by_me(int pid) {
  struct stat info {};
  if (::stat(("/proc/" + std::to_string(pid)).c_str(), &info) != 0) return false;
  return info.st_uid == ::getuid();
}

bool alive(int pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

std::vector<ProcessInfo> ProcProcessTable::list() {
  std::vector<ProcessInfo> processes;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return processes;
  const uid_t me = ::getuid();
  const std::string session = own_runtime_folder();
  while (const dirent* entry = ::readdir(proc)) {
    if (!all_digits(entry->d_name)) continue;
    const std::string folder = std::string("/proc/") + entry->d_name;
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || info.st_uid != me) continue;
    // Another session of the same user (its own runtime folder) has programs of its own, the
    // engine's terminal among them, which this one must neither take for its own nor end.
    if (runtime_folder_of(folder) != session) continue;
    ProcessInfo process;
    process.pid = std::stoi(entry->d_name);
    process.exe_path = exe_link(folder);
    if (!process.exe_path.empty()) process.exe_path = invoked_path(folder, process.exe_path);
    process.exe_name =
        base_name(process.exe_path.empty() ? first_argument(folder) : process.exe_path);
    if (process.exe_name.empty()) continue;  // kernel threads have neither
    processes.push_back(std::move(process));
  }
  ::closedir(proc);
  std::sort(processes.begin(), processes.end(),
            [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
  return processes;
}

bool ProcProcessTable::terminate(int pid) {
  if (pid <= 1 || pid == ::getpid() || !owned_by_me(pid)) return false;
  if (::kill(pid, SIGTERM) != 0) return false;
  // Give it 2 s to end by itself, then end it.
  for (int waited = 0; waited < 2000; waited += 50) {
    if (!alive(pid)) return true;
    const struct timespec pause { 0, 50 * 1000 * 1000 };
    ::nanosleep(&pause, nullptr);
  }
  ::kill(pid, SIGKILL);
  for (int waited = 0; waited < 1000; waited += 50) {
    if (!alive(pid)) return true;
    const struct timespec pause { 0, 50 * 1000 * 1000 };
    ::nanosleep(&pause, nullptr);
  }
  return !alive(pid);
}

}  // namespace pelmora::platform
