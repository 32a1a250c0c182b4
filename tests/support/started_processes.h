#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pelmora::testing {

// One of this user's processes as /proc shows it.
struct OwnProcess {
  pid_t pid = 0;
  pid_t parent = 0;
  std::string program;        // the first word of its command line: the path it was started by
  std::filesystem::path exe;  // the file it runs
};

// This user's processes (this one left out).
std::vector<OwnProcess> own_processes();

// Ends the processes: SIGTERM, then SIGKILL to those still running after 3 s.
void end_processes(const std::vector<pid_t>& pids);

// Ends this user's processes whose program was started by a path inside `folder`: programs a
// test's program started from the test's own folders, such as the engine terminal it starts from
// its player folder, which keeps running after the window has gone, as it should for a user.
void end_processes_started_from(const std::string& folder);

}  // namespace pelmora::testing
