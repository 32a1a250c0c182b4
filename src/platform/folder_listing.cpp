#include <utility>

#include "platform/files.h"
#include "util/folders.h"

namespace pelmora::platform::files {

bool list_folder(std::string_view folder, std::string_view pattern,
                 std::vector<std::string>& names) {
  std::vector<std::string> matched;
  for (std::string& name : list_regular_files(std::string(folder))) {
    if (text::wildcard_match(pattern, name)) matched.push_back(std::move(name));
  }
  if (matched.empty()) return false;
  names = std::move(matched);
  return true;
}

}  // namespace pelmora::platform::files
