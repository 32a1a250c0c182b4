#pragma once

#include <string>
#include <vector>

#include "platform/power.h"

namespace pelmora::platform {

// Shuts the computer down by running a configured command (by default logind's PowerOff over
// D-Bus through busctl). The command is split at blanks and run without a shell.
class CommandPower final : public Power {
 public:
  explicit CommandPower(std::string command);
  bool shutdown() override;
  // The default command.
  static std::string default_command();

 private:
  std::string command_;
};

// Splits a command at runs of blanks; double quotes group words that contain blanks.
std::vector<std::string> split_command(const std::string& command);

}  // namespace pelmora::platform
