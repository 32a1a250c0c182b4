#pragma once

#include <functional>

namespace pelmora::platform::posix {

// The signals that ask the program to end: SIGTERM (the session manager at logout or shutdown,
// `kill`), SIGINT (Ctrl+C in its terminal) and SIGHUP (its terminal closed).
//
// Once `watch_termination_signals` has run, the first of them does nothing but make
// `termination_fd()` readable, so that the program ends through its own exit on its event loop
// (the position written, the lists rewritten), and it starts a limit of `grace_seconds`. A
// program still running then, or one that gets a second SIGTERM or SIGINT, is ended at once
// (status 128 + the signal, SIGALRM for the limit) by a thread of the watch's own, after
// `abrupt_end` has run there: what must not outlive the program even then (it has 3 s, then
// the process ends anyway). SIGHUP never ends it at once: systemd ends a session's processes
// with SIGTERM followed at once by SIGHUP.
//
// Programs the program starts get the default actions back when they start (exec resets caught
// signals).
bool watch_termination_signals(unsigned grace_seconds, std::function<void()> abrupt_end = {});

// Readable once a termination signal has arrived (it stays readable); -1 before the watch.
int termination_fd();

// The first termination signal that arrived, 0 while none has.
int termination_signal();

}  // namespace pelmora::platform::posix
