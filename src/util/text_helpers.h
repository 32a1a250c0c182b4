#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

// Small text and path helpers shared across the program. None keeps state or reports an error:
// each returns an empty result instead.
namespace pelmora::text {

// Playing time as "mm:ss" below an hour, "h:mm:ss" from an hour on (59 -> "00:59",
// 3600 -> "1:00:00"). Negative input counts as 0.
std::string time_text(std::int64_t seconds);

// The part of a file path after its last "/"; empty when there is no "/", when the path ends in
// "/", or when the text is an address ("://" in it) rather than a path.
std::string file_part(std::string_view path);

// The name without its last extension ("a.b.rmvb" -> "a.b"); empty when the name has no ".".
std::string drop_ext(std::string_view name);

// How text_between cuts: markers included, or only the text strictly between them.
enum class Between { kWithMarkers = 1, kInside = 2 };

// The text from the first occurrence of `start` to the first occurrence of `end` at or after it;
// empty when either is missing.
std::string text_between(std::string_view text, std::string_view start, std::string_view end,
                         Between mode);

// The parts of `text` between occurrences of `separator` (not empty), in order; a text without
// it is one part. The views point into `text`.
std::vector<std::string_view> split(std::string_view text, std::string_view separator);

// The lines of a text, at most `limit` of them. A line ends at LF; one CR before the LF is
// dropped, so CR LF and LF alone read alike. Text after the last line end is one more line; a
// text that ends with a line end has no empty line after it ("\r\n" is one empty line, "" none).
// The views point into `text`.
std::vector<std::string_view> split_lines(
    std::string_view text, std::size_t limit = std::numeric_limits<std::size_t>::max());

// Whole-number conversion as the settings and list readers use it: optional surrounding blanks,
// an optional sign, decimal digits. False for anything else or a value beyond 64 bits.
bool parse_whole(std::string_view text, std::int64_t& value);

}  // namespace pelmora::text
