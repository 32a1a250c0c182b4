#pragma once

#include <string>

namespace pelmora::testing {

// Ends (SIGTERM, then SIGKILL after 3 s) this user's processes whose program was started by a
// path inside `folder`: programs a test's program started from the test's own folders, such as
// the engine terminal it starts from its player folder, which keeps running after the window has
// gone, as it should for a user.
void end_processes_started_from(const std::string& folder);

}  // namespace pelmora::testing
