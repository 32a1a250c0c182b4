#include "platform/process_table.h"

namespace pelmora::platform {

int find_process(ProcessTable& processes, std::string_view name) {
  // Every name contains the empty text; answering with the first process would hand its
  // identifier to a caller that may end it.
  if (name.empty()) return 0;
  for (const ProcessInfo& process : processes.list()) {
    if (process.exe_name.find(name) != std::string::npos) return process.pid;
  }
  return 0;
}

}  // namespace pelmora::platform
