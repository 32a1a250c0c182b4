#include "platform/headless/recorders.h"

#include <algorithm>

namespace pelmora::headless {

void FakeProcessTable::add(int pid, const std::string& exe_path) {
  const auto slash = exe_path.find_last_of('/');
  const std::string name = slash == std::string::npos ? exe_path : exe_path.substr(slash + 1);
  processes.push_back({pid, name, exe_path});
}

bool FakeProcessTable::terminate(int pid) {
  const auto found = std::find_if(processes.begin(), processes.end(),
                                  [pid](const platform::ProcessInfo& p) { return p.pid == pid; });
  if (found == processes.end()) return false;
  processes.erase(found);
  terminated.push_back(pid);
  return true;
}

bool HeadlessChannel::claim() {
  if (bus_.owned && !owner_) return false;
  bus_.owned = true;
  owner_ = true;
  return true;
}

void HeadlessChannel::listen(std::function<void(const std::string& command)> on_command) {
  if (owner_) bus_.listener = std::move(on_command);
}

bool HeadlessChannel::send(const std::string& command) {
  if (!bus_.listener) return false;
  bus_.delivered.push_back(command);
  bus_.listener(command);
  return true;
}

}  // namespace pelmora::headless
