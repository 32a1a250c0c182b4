#pragma once

#include <sys/types.h>

#include <string>

namespace pelmora::testing {

// A virtual screen (Xvfb, on the first free display it finds) for the life of the object, for
// tests whose programs must draw the way X shows them.
class VirtualScreen {
 public:
  // `geometry` as Xvfb takes it, e.g. "800x600x24".
  explicit VirtualScreen(const std::string& geometry);
  ~VirtualScreen();
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;

  // Its name, e.g. ":93"; empty when Xvfb could not be started.
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = 0;
  std::string display_;
};

}  // namespace pelmora::testing
