#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::platform {

// One running process of the current user.
struct ProcessInfo {
  int pid = 0;
  std::string exe_name;  // base name of the executable, e.g. "QvodTerminal.exe"
  std::string exe_path;  // full path of the executable; empty when it cannot be read
};

// The running processes, as the engine housekeeping sees them. Only processes of the current
// user's session are listed or ended (on Linux: the user's, started with the same runtime
// folder, XDG_RUNTIME_DIR). Called on the user-interface thread; never re-enters the program.
class ProcessTable {
 public:
  virtual ~ProcessTable() = default;
  // A snapshot, in ascending process-identifier order.
  virtual std::vector<ProcessInfo> list() = 0;
  // Asks the process to end and makes sure it does (SIGTERM, then SIGKILL after 2 s on Linux).
  // False when there is no such process of this user or it could not be ended.
  virtual bool terminate(int pid) = 0;
};

// The identifier of the first listed process whose executable name contains `name`
// (case-sensitive), or 0 when none does (nor for an empty name).
int find_process(ProcessTable& processes, std::string_view name);

}  // namespace pelmora::platform
