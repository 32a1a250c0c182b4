#pragma once

namespace pelmora::platform::qt {

// For the benchmarks: a 10 ms timer on the user-interface thread's event loop that measures how
// late each of its ticks runs. The longest delay is the longest an input event could have
// waited for the program. Prints "pelmora-timing lag MS" to standard error once a second, MS the
// longest delay of that second. Runs for the rest of the program. Also prints
// "pelmora-timing key EPOCH_MS" when a press of the Shift key arrives (for a benchmark that
// presses it through the X server).
// With `sample_stacks`, while the event loop is more than 40 ms late, the user-interface
// thread's stack is printed every 20 ms ("pelmora-timing stall MS, stack:" and one frame a
// line), which names the handler that holds it up.
void start_lag_probe(bool sample_stacks = false);

// Prints the longest delay so far and starts the next report's count from now, so that a report
// after an event of interest (a click) covers only the time after it. The user-interface thread
// only.
void report_lag_now();

}  // namespace pelmora::platform::qt
