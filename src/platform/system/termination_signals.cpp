#include "platform/system/termination_signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <initializer_list>
#include <thread>

namespace pelmora::platform::posix {

namespace {

// Set once by `watch_termination_signals`, read by the handler.
int g_read_fd = -1;
int g_write_fd = -1;
int g_watch_read_fd = -1;  // the watch's thread: 'f' for the first signal, 'a' to end at once
int g_watch_write_fd = -1;
unsigned g_grace = 0;
// Lock-free atomics, safe in a handler.
std::atomic<int> g_first{0};
std::atomic<int> g_ends_asked{0};  // SIGTERM and SIGINT so far
std::atomic<int> g_abrupt{0};      // the signal that ends the program at once

void tell_watch(char what) {
  [[maybe_unused]] const ssize_t written = ::write(g_watch_write_fd, &what, 1);
}

// Only async-signal-safe calls here.
void on_termination(int signal_number) {
  const int saved_errno = errno;
  if (signal_number != SIGHUP && ++g_ends_asked > 1) {
    int none = 0;
    if (g_abrupt.compare_exchange_strong(none, signal_number)) tell_watch('a');
  } else if (int none = 0; g_first.compare_exchange_strong(none, signal_number)) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_write_fd, &byte, 1);
    tell_watch('f');
  }
  errno = saved_errno;
}

// Waits for the first signal, then for the end at once: a second signal, or the grace run out.
void watch(std::function<void()> abrupt_end) {
  char what = 0;
  while (::read(g_watch_read_fd, &what, 1) != 1) {
    if (errno != EINTR) return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(g_grace);
  while (what != 'a') {
    int wait_ms = -1;
    if (g_grace > 0) {
      wait_ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     deadline - std::chrono::steady_clock::now())
                                     .count());
      if (wait_ms <= 0) break;
    }
    pollfd ready{g_watch_read_fd, POLLIN, 0};
    if (::poll(&ready, 1, wait_ms) == 1 && ::read(g_watch_read_fd, &what, 1) != 1) what = 0;
  }
  int none = 0;
  g_abrupt.compare_exchange_strong(none, SIGALRM);
  ::alarm(3);  // whatever `abrupt_end` meets, the process ends
  if (abrupt_end) abrupt_end();
  ::_exit(128 + g_abrupt.load());
}

}  // namespace

bool watch_termination_signals(unsigned grace_seconds, std::function<void()> abrupt_end) {
  if (g_read_fd < 0) {
    int ends[2];
    int watch_ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    if (::pipe2(watch_ends, O_CLOEXEC) != 0) return false;
    g_read_fd = ends[0];
    g_write_fd = ends[1];
    g_watch_read_fd = watch_ends[0];
    g_watch_write_fd = watch_ends[1];
    g_grace = grace_seconds;
    std::thread(watch, std::move(abrupt_end)).detach();
  }
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
