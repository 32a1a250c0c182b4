#pragma once

#include <string>
#include <string_view>

// The escape form the service and its client agree on for names, labels and addresses in links
// and queries, written here from the description of the form, independently of the client's own
// codec: a fault in either then shows up in the end-to-end tests instead of cancelling out.
//
// The text is taken as UTF-16 code units (the service's texts are UTF-8 and are converted):
//   - the digits, the ASCII letters and the seven characters @ * _ + - . / stay as they are;
//   - a unit from 1 to 15 becomes "%0" and one upper-case hexadecimal digit;
//   - a unit from 16 to 255 becomes "%" and two upper-case hexadecimal digits;
//   - every other unit (0, and 256 and above) becomes "%u" and four upper-case hexadecimal
//     digits; a character beyond the 16-bit range gives two such escapes, one per unit.
// Reading back, "%u" (lower-case u) with four hexadecimal digits of either case is one unit,
// "%" with two is one unit of that value (never a byte of UTF-8), and anything else, a lone "%"
// included, is taken as it stands.
namespace pelmora::service::codec {

std::string escape(std::string_view utf8);
// The result is UTF-8; a unit that cannot stand alone (a lone surrogate) becomes U+FFFD.
std::string unescape(std::string_view escaped);

// The value of `count` hexadecimal digits (either case) at `at` in `text`, or -1 when they are
// not all there.
int hex_run(std::string_view text, size_t at, size_t count);

// UTF-8 to UTF-16 units and back. A byte that does not belong to a valid UTF-8 sequence becomes
// U+FFFD; so does a lone surrogate on the way back.
std::u16string to_units(std::string_view utf8);
std::string from_units(std::u16string_view units);

}  // namespace pelmora::service::codec
