#include "util/display_width.h"

#include "util/utf16.h"

namespace pelmora::text {

namespace {

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point that starts at `at` and how many units it takes (a surrogate pair two; a lone
// surrogate stands for itself).
char32_t code_point_at(const std::u16string& units, std::size_t at, std::size_t& length) {
  const char16_t unit = units[at];
  if (is_high_surrogate(unit) && at + 1 < units.size() && is_low_surrogate(units[at + 1])) {
    length = 2;
    return 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[at + 1] - 0xDC00);
  }
  length = 1;
  return unit;
}

}  // namespace

std::string cut_width(std::string_view text, int width) {
  const std::u16string units = to_utf16(text);
  // Fits even if every character were double width.
  if (static_cast<long long>(units.size()) * 2 <= width) return to_utf8(units);
  std::size_t kept = 0;
  int columns = 0;
  while (kept < units.size()) {
    std::size_t length = 1;
    columns += code_point_width(code_point_at(units, kept, length));
    if (columns > width) break;
    kept += length;
  }
  return to_utf8(std::u16string_view(units).substr(0, kept));
}

}  // namespace pelmora::text
