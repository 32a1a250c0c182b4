#pragma once

#include "platform/process_table.h"

namespace pelmora::platform {

// The processes of the current user, read from /proc.
class ProcProcessTable final : public ProcessTable {
 public:
  std::vector<ProcessInfo> list() override;
  bool terminate(int pid) override;
};

}  // namespace pelmora::platform
