#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora::lists {

// The files of a network task's download, as the engine names them in its download folder: the
// stem is the file name in the third "|" part of the task's play address without the extension;
// a long stem matches on its first half (rounded to even), a short one (under three characters
// after halving) on the whole stem. Characters are UTF-16 code units, as the program counts.
struct DownloadMatch {
  std::string stem;        // empty: the address names no download
  std::size_t length = 0;  // characters compared

  // Whether a file of the download folder belongs to the download.
  bool matches(std::string_view file_name) const;
};

// The match for a play address as the list stores it unescaped ("qvod://9|HASH|name.rmvb|").
DownloadMatch download_match(std::string_view play_address);

}  // namespace pelmora::lists
