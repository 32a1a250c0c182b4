#include "util/processes.h"

#include "platform/process_table.h"

namespace pelmora::text {

int find_process(platform::ProcessTable& processes, std::string_view name) {
  // Every name contains the empty text; answering with the first process would hand its
  // identifier to a caller that may end it.
  if (name.empty()) return 0;
  for (const platform::ProcessInfo& process : processes.list()) {
    if (process.exe_name.find(name) != std::string::npos) return process.pid;
  }
  return 0;
}

}  // namespace pelmora::text
