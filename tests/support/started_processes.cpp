#include "started_processes.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <vector>

namespace pelmora::testing {
namespace {

// Still running: neither gone nor a zombie waiting for its parent.
bool running(pid_t pid) {
  if (::kill(pid, 0) != 0) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto close = line.rfind(')');
  return close == std::string::npos || line.size() < close + 3 || line[close + 2] != 'Z';
}

}  // namespace

void end_processes_started_from(const std::string& folder) {
  const std::string inside = folder + "/";
  std::vector<pid_t> found;
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const pid_t pid = std::atoi(entry->d_name);
      if (pid <= 0 || pid == ::getpid()) continue;
      const std::string dir = "/proc/" + std::string(entry->d_name);
      struct stat owner {};
      if (::stat(dir.c_str(), &owner) != 0 || owner.st_uid != ::getuid()) continue;
      // The first word of the command line: the path the program was started by.
      std::ifstream command(dir + "/cmdline", std::ios::binary);
      std::string program;
      std::getline(command, program, '\0');
      if (program.starts_with(inside)) found.push_back(pid);
    }
    ::closedir(proc);
  }
  for (const pid_t pid : found) ::kill(pid, SIGTERM);
  for (int waited = 0; waited < 60; ++waited) {
    bool alive = false;
    for (const pid_t pid : found) alive = alive || running(pid);
    if (!alive) return;
    ::usleep(50000);
  }
  for (const pid_t pid : found) ::kill(pid, SIGKILL);
}

}  // namespace pelmora::testing
