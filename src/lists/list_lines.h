#pragma once

#include <cstddef>
#include <limits>
#include <string_view>
#include <vector>

// How the list files are cut into lines and fields. The renderer and every list operation use
// these, so that the line number a page puts into its links is the line a removal takes out.
namespace pelmora::lists::detail {

// The lines of a list file, at most `limit` of them. A line ends at LF; one CR before the LF is
// dropped, so files with CR LF and with LF alone read alike. Text after the last line end is one
// more line; a file that ends with a line end has no empty line after it ("\r\n" is one empty
// line, "" none). The views point into `content`.
std::vector<std::string_view> split_lines(
    std::string_view content, std::size_t limit = std::numeric_limits<std::size_t>::max());

// A line is a record when it holds at least one "|"; other lines are skipped by every reader.
inline bool is_record(std::string_view line) {
  return line.find('|') != std::string_view::npos;
}

// The fields of a record, split at every "|" (no quoting).
std::vector<std::string_view> split_fields(std::string_view line);

}  // namespace pelmora::lists::detail
