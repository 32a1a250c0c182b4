#pragma once

#include <string>
#include <vector>

namespace pelmora::platform {

// Starting other programs and handing addresses to the desktop. Nothing here goes through a
// shell, so no argument is ever interpreted. None of the calls waits for what it starts.
class Launcher {
 public:
  virtual ~Launcher() = default;
  // Starts a program with its arguments. False when it could not be started.
  virtual bool start_program(const std::string& path, const std::vector<std::string>& args) = 0;
  // Opens an address in the desktop's default browser (xdg-open).
  virtual bool open_address(const std::string& url) = 0;
  // Opens a folder in the desktop's file manager.
  virtual bool open_folder(const std::string& folder) = 0;
  // Registers the player component found beside the program. Linux has no component
  // registration: the call does nothing and succeeds.
  virtual bool register_component(const std::string& path) = 0;
};

}  // namespace pelmora::platform
