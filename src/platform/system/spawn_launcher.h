#pragma once

#include "platform/launcher.h"

namespace pelmora::platform {

// Starts programs with posix_spawn (never through a shell) and hands addresses and folders to
// the desktop's opener, xdg-open. Started programs are not waited for; they are reaped when
// they end so none lingers as a zombie.
class SpawnLauncher final : public Launcher {
 public:
  bool start_program(const std::string& path, const std::vector<std::string>& args) override;
  bool open_address(const std::string& url) override;
  bool open_folder(const std::string& folder) override;
  bool register_component(const std::string& path) override;
};

// Starts `argv[0]` (searched on PATH when it has no "/") with the given arguments, detached.
// True when the program was started.
bool spawn_detached(const std::vector<std::string>& argv);

}  // namespace pelmora::platform
