#pragma once

#include <functional>
#include <string>

namespace pelmora::platform {

// The single-instance command channel named "Pelmora|BA1": the first start of the program owns
// it; a later start hands its command line to the first and ends.
class InstanceChannel {
 public:
  virtual ~InstanceChannel() = default;
  // Tries to become the first instance. True when this process owns the channel from now on
  // (for its whole life); false when another instance runs.
  virtual bool claim() = 0;
  // In the first instance: starts answering commands; each arrives through `on_command` on the
  // user-interface thread.
  virtual void listen(std::function<void(const std::string& command)> on_command) = 0;
  // In a later instance: delivers one command line to the first. Waits for its acknowledgement
  // at most 2 s. False when nobody answered.
  virtual bool send(const std::string& command) = 0;
};

}  // namespace pelmora::platform
