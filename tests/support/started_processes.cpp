#include "started_processes.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace pelmora::testing {
namespace {

// The state letter and the parent from /proc/PID/stat; false when it cannot be read.
bool read_stat(pid_t pid, char& state, pid_t& parent) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  int parent_number = 0;
  if (close == std::string::npos ||
      std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent_number) != 2) {
    return false;
  }
  parent = parent_number;
  return true;
}

// Still running: neither gone nor a zombie waiting for its parent.
bool running(pid_t pid) {
  char state = 0;
  pid_t parent = 0;
  return ::kill(pid, 0) == 0 && (!read_stat(pid, state, parent) || state != 'Z');
}

}  // namespace

std::vector<OwnProcess> own_processes() {
  std::vector<OwnProcess> found;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return found;
  while (const dirent* entry = ::readdir(proc)) {
    OwnProcess process;
    process.pid = std::atoi(entry->d_name);
    if (process.pid <= 0 || process.pid == ::getpid()) continue;
    const std::string dir = "/proc/" + std::string(entry->d_name);
    struct stat owner {};
    if (::stat(dir.c_str(), &owner) != 0 || owner.st_uid != ::getuid()) continue;
    char state = 0;
    if (!read_stat(process.pid, state, process.parent)) continue;
    std::ifstream command(dir + "/cmdline", std::ios::binary);
    std::getline(command, process.program, '\0');
    std::error_code unreadable;
    process.exe = std::filesystem::read_symlink(dir + "/exe", unreadable);
    found.push_back(std::move(process));
  }
  ::closedir(proc);
  return found;
}

void end_processes(const std::vector<pid_t>& pids) {
  for (const pid_t pid : pids) ::kill(pid, SIGTERM);
  for (int waited = 0; waited < 60; ++waited) {
    bool alive = false;
    for (const pid_t pid : pids) alive = alive || running(pid);
    if (!alive) return;
    ::usleep(50000);
  }
  for (const pid_t pid : pids) ::kill(pid, SIGKILL);
}

void end_processes_started_from(const std::string& folder) {
  const std::string inside = folder + "/";
  std::vector<pid_t> found;
  for (const OwnProcess& process : own_processes()) {
    if (process.program.starts_with(inside)) found.push_back(process.pid);
  }
  end_processes(found);
}

}  // namespace pelmora::testing
