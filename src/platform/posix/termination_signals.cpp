#include "platform/posix/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <initializer_list>

namespace pelmora::platform::posix {

namespace {

// Set once by `watch_termination_signals`, read by the handler.
int g_read_fd = -1;
int g_write_fd = -1;
unsigned g_grace = 0;
// Lock-free atomics, safe in a handler.
std::atomic<int> g_first{0};
std::atomic<int> g_ends_asked{0};  // SIGTERM and SIGINT so far

// Only async-signal-safe calls here.
void on_termination(int signal_number) {
  const int saved_errno = errno;
  if (signal_number != SIGHUP && ++g_ends_asked > 1) ::_exit(128 + signal_number);
  int none = 0;
  if (g_first.compare_exchange_strong(none, signal_number)) {
    if (g_grace > 0) ::alarm(g_grace);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_write_fd, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

bool watch_termination_signals(unsigned grace_seconds) {
  if (g_read_fd < 0) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    g_read_fd = ends[0];
    g_write_fd = ends[1];
  }
  g_grace = grace_seconds;
  struct sigaction action {};
  action.sa_handler = on_termination;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  bool all = true;
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    all = ::sigaction(signal_number, &action, nullptr) == 0 && all;
  }
  // The limit's own signal must end the process, whatever was set before.
  struct sigaction alarm_action {};
  alarm_action.sa_handler = SIG_DFL;
  sigemptyset(&alarm_action.sa_mask);
  ::sigaction(SIGALRM, &alarm_action, nullptr);
  sigset_t wanted;
  sigemptyset(&wanted);
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) {
    sigaddset(&wanted, signal_number);
  }
  ::pthread_sigmask(SIG_UNBLOCK, &wanted, nullptr);
  return all;
}

int termination_fd() {
  return g_read_fd;
}

int termination_signal() {
  return g_first.load();
}

}  // namespace pelmora::platform::posix
