#pragma once

namespace pelmora::platform::posix {

// The signals that ask the program to end: SIGTERM (the session manager at logout or shutdown,
// `kill`), SIGINT (Ctrl+C in its terminal) and SIGHUP (its terminal closed).
//
// Once `watch_termination_signals` has run, the first of them does nothing but make
// `termination_fd()` readable, so that the program ends through its own exit on its event loop
// (the position written, the lists rewritten), and it starts a limit of `grace_seconds`: a
// program still running then is ended at once by SIGALRM, whatever held it up. A second SIGTERM
// or SIGINT ends the program at once. SIGHUP never does: systemd ends a session's processes
// with SIGTERM followed at once by SIGHUP.
//
// Programs the program starts get the default actions back when they start (exec resets caught
// signals).
bool watch_termination_signals(unsigned grace_seconds);

// Readable once a termination signal has arrived (it stays readable); -1 before the watch.
int termination_fd();

// The first termination signal that arrived, 0 while none has.
int termination_signal();

}  // namespace pelmora::platform::posix
