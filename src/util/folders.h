#pragma once

#include <string_view>

namespace pelmora::text {

// True when `name` matches the wildcard `pattern` (case-sensitive): "*" any run, "?" one
// character; "*.*" matches every name, as it always has. Listing a folder by a pattern is
// platform::files::list_folder.
bool wildcard_match(std::string_view pattern, std::string_view name);

}  // namespace pelmora::text
