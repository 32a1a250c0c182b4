#pragma once

namespace pelmora::platform::qt {

// For the benchmarks: a 10 ms timer on the user-interface thread's event loop that measures how
// late each of its ticks runs. The longest delay is the longest an input event could have
// waited for the program. Prints "pelmora-timing lag MS" to standard error once a second, MS the
// longest delay of that second. Runs for the rest of the program.
void start_lag_probe();

}  // namespace pelmora::platform::qt
