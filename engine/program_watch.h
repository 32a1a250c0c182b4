#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pelmora::engine {

// A process named by its identifier and the time it started (the 22nd field of /proc/PID/stat,
// in clock ticks since boot): an identifier the kernel hands to a later process never matches.
struct WatchedProgram {
  pid_t pid = 0;
  unsigned long long start_ticks = 0;
};

// "PID:START" as the program writes it; "none" reads as nothing to watch. Nothing (and `valid`
// false) for anything else.
std::optional<WatchedProgram> parse_watched_program(const std::string& text, bool& valid);

// True while the process runs: it exists, has not ended (a zombie has), and started when the
// watch says.
bool still_runs(const WatchedProgram& program);

// Ends the terminal with the program that uses it: checks the watched program once a
// second and calls `gone` once, from its own thread, when it has ended however it ended (a
// crash or SIGKILL gives it no chance to end the terminal itself). The watched program can be
// changed or cleared at any time, by a later start of the program.
class ProgramWatch {
 public:
  explicit ProgramWatch(std::function<void()> gone);
  ~ProgramWatch();
  ProgramWatch(const ProgramWatch&) = delete;
  ProgramWatch& operator=(const ProgramWatch&) = delete;

  void watch(std::optional<WatchedProgram> program);

 private:
  void run();

  std::function<void()> gone_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<WatchedProgram> program_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace pelmora::engine
