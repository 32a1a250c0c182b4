#pragma once

#include <cstddef>
#include <string_view>

// Display columns of text, as a Chinese desktop lays it out: East Asian wide and fullwidth
// characters take two columns, every other character one. The program's text helpers cut titles
// by them, and the control model's text estimate counts with them where no window system
// measures.
namespace pelmora::text {

// Display columns of one Unicode code point: 2 for East Asian wide and fullwidth characters
// (what a double-byte character is on a Chinese system), 1 for every other.
int code_point_width(char32_t code_point);

// Decodes one well-formed UTF-8 sequence of two to four bytes at `at` into `code_point` and
// returns the bytes it takes, or 0 when the bytes there are not one (bad lead byte, missing or
// wrong continuation, overlong form, surrogate, or a code point beyond U+10FFFF).
std::size_t decode_utf8_sequence(std::string_view utf8, std::size_t at, char32_t& code_point);

// Display columns of a UTF-8 text: the sum of its code points' widths. A byte that is not part
// of valid UTF-8 stands for U+FFFD, as the program's UTF-16 conversion reads it.
int display_width(std::string_view text);

}  // namespace pelmora::text
