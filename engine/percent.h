#pragma once

#include <string>
#include <string_view>

namespace pelmora::engine {

// Every byte that is not an unreserved character (A-Z a-z 0-9 - . _ ~) as %XX.
std::string percent_encode(std::string_view text);

// %XX sequences as bytes (any byte, also NUL); a "%" not followed by two hex digits stays as it
// is. "+" stays "+".
std::string percent_decode(std::string_view text);

}  // namespace pelmora::engine
