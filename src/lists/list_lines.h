#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// How the list files are cut into lines and fields. The renderer and every list operation use
// these, so that the line number a page puts into its links is the line a removal takes out.
namespace pelmora::lists::detail {

// Lines are cut with text::split_lines (util/text_helpers.h): LF ends a line, a CR before it is
// dropped, and text after the last line end is one more line.

// A line is a record when it holds at least one "|"; other lines are skipped by every reader.
inline bool is_record(std::string_view line) {
  return line.find('|') != std::string_view::npos;
}

// The fields of a record, split at every "|" (no quoting).
std::vector<std::string_view> split_fields(std::string_view line);

// What a page's row carries to show which record it was made from: eight lower-case hexadecimal
// digits computed from the record's first two fields (the identifier and name of a network task,
// the name and path of a local file), which an update of the position leaves alone.
std::string row_check(std::string_view record);

}  // namespace pelmora::lists::detail
