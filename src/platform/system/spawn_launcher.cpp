#include "platform/system/spawn_launcher.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace pelmora::platform {

bool spawn_detached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // The child starts in a session of its own, so it outlives this program and does not get its
  // terminal's signals.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  // The child gets standard input, output and error and nothing else of this program: a listening
  // socket of the browser engine or a lock it inherited would stay taken for as long as the
  // child runs (the engine's terminal runs on after the program).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const bool search = argv[0].find('/') == std::string::npos;
  const int result =
      search ? ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ)
             : ::posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (result != 0) return false;
  // Reap the child when it ends, without making the caller wait.
  std::thread([pid] {
    int status = 0;
    ::waitpid(pid, &status, 0);
  }).detach();
  return true;
}

bool SpawnLauncher::start_program(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> argv{path};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawn_detached(argv);
}

bool SpawnLauncher::open_address(const std::string& url) {
  return spawn_detached({"xdg-open", url});
}

bool SpawnLauncher::open_folder(const std::string& folder) {
  return spawn_detached({"xdg-open", folder});
}

bool SpawnLauncher::register_component(const std::string&) {
  return true;
}

}  // namespace pelmora::platform
