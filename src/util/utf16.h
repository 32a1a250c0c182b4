#pragma once

#include <string>
#include <string_view>

// The program keeps text as UTF-8; the helpers that count characters work on UTF-16 code units,
// as the program always has. These two convert between the forms.
namespace pelmora::text {

// Decodes UTF-8 into UTF-16 code units. A byte sequence that is not valid UTF-8 becomes U+FFFD
// for each offending byte, so any input converts.
std::u16string to_utf16(std::string_view utf8);

// Encodes UTF-16 code units as UTF-8. A lone surrogate (one that is not part of a valid pair)
// becomes U+FFFD.
std::string to_utf8(std::u16string_view utf16);

}  // namespace pelmora::text
