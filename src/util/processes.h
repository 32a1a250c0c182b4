#pragma once

#include <string_view>

namespace pelmora::platform {
class ProcessTable;
}

namespace pelmora::text {

// The identifier of the first listed process whose executable name contains `name`
// (case-sensitive), or 0 when none does.
int find_process(platform::ProcessTable& processes, std::string_view name);

}  // namespace pelmora::text
