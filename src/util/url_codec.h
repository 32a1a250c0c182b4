#pragma once

#include <string>
#include <string_view>

#include "util/hex_digit.h"

// The escape codec of the program's link schemes and of the service's query strings.
namespace pelmora::text {

// Keeps 0-9, A-Z, a-z and "@*_+-./"; writes every other UTF-16 code unit C as "%0X" (0 < C < 16),
// "%XX" (16 <= C < 256) or "%uXXXX" (C == 0 or C >= 256), upper-case hexadecimal. A character
// beyond the 16-bit range is written as its two code units.
std::string url_escape(std::string_view text);

// The inverse: "%uXXXX" (lower-case u, hexadecimal digits of either case) gives that code unit,
// "%XX" gives the character with that code (0-255, not a byte of a multi-byte character);
// anything else, a lone "%" included, stays as it is. Surrogate pairs join again; a lone
// surrogate becomes U+FFFD.
std::string url_unescape(std::string_view text);

}  // namespace pelmora::text
