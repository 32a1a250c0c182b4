#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a drop onto the window plays: the desktop hands over lines of addresses (a file manager's
// "file://" addresses, a browser's links) or plain text; the first line that names something
// playable is taken.
namespace pelmora::playback::drops {

struct Dropped {
  enum class Kind { kFile, kAddress };
  Kind kind = Kind::kFile;
  std::string text;  // the local path, or the address as it was dropped
  bool operator==(const Dropped&) const = default;
};

// The first playable item of a drop: a local file that exists (given as a path or a "file://"
// address), or a "qvod://", "http://" or "https://" address. Blank lines and the "#" comments of
// an address list are skipped; folders, missing files and any other text play nothing.
std::optional<Dropped> first_playable(const std::vector<std::string>& lines,
                                      const std::function<bool(const std::string&)>& is_file);

}  // namespace pelmora::playback::drops
