#include "support/virtual_screen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelmora::testing {

VirtualScreen::VirtualScreen(const std::string& geometry) {
  int ready[2];
  if (::pipe(ready) != 0) return;
  // Xvfb picks a free display itself and writes its number to the pipe once it listens.
  const std::string fd = std::to_string(ready[1]);
  const char* argv[] = {"Xvfb",           "-displayfd", fd.c_str(), "-screen", "0",
                        geometry.c_str(), "-nolisten",  "tcp",      nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclose(&actions, ready[0]);
  if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
    pid_ = 0;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  pollfd wait{ready[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && ::poll(&wait, 1, 5000) > 0 && ::read(ready[0], &c, 1) == 1 && c != '\n') {
    display_ += c;
  }
  ::close(ready[0]);
  if (!display_.empty()) display_ = ":" + display_;
}

VirtualScreen::~VirtualScreen() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
}

}  // namespace pelmora::testing
