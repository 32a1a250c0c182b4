#pragma once

namespace pelmora::platform {

// The computer's power. The real one runs the configured shutdown command (logind's PowerOff by
// default); the tests' configuration points it at a recorder.
class Power {
 public:
  virtual ~Power() = default;
  // Asks the system to shut down. False when the request could not be made.
  virtual bool shutdown() = 0;
};

}  // namespace pelmora::platform
