#pragma once

#include <string>
#include <string_view>

namespace pelmora::text {

// Display columns of one Unicode code point: 2 for East Asian wide and fullwidth characters
// (what a double-byte character is on a Chinese system), 1 for every other.
int code_point_width(char32_t code_point);

// Cuts a title to `width` display columns, without any mark. A text whose UTF-16 length is at
// most half the width is returned whole. A surrogate pair is never split.
std::string cut_width(std::string_view text, int width);

// Display columns of a text: the sum of its code points' widths.
int display_width(std::string_view text);

}  // namespace pelmora::text
