#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::text {

// Names (without the folder) of the ordinary, non-hidden files of `folder` that match the
// wildcard `pattern` ("*" any run, "?" one character; "*.*" matches every name, as it always
// has). True when at least one matched; then `names` holds exactly those. False otherwise, with
// `names` left as it was. A missing or unreadable folder matches nothing.
bool list_folder(std::string_view folder, std::string_view pattern,
                 std::vector<std::string>& names);

// True when `name` matches the wildcard pattern (case-sensitive).
bool wildcard_match(std::string_view pattern, std::string_view name);

}  // namespace pelmora::text
