#include "util/text_columns.h"

#include <algorithm>
#include <iterator>

namespace pelmora::text {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// The East Asian Wide (W) and Fullwidth (F) code points of the Unicode 14 width data, sorted and
// without overlap: Hangul, CJK symbols and punctuation, kana, CJK ideographs and their
// extensions, fullwidth forms and the emoji shown with emoji presentation. Neighbouring runs
// separated only by unassigned code points are joined to keep the table short.
constexpr Range kWideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x3247},   {0x3250, 0x4DBF},   {0x4E00, 0xA4C6},   {0xA960, 0xA97C},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6B},
    {0xFF01, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x1B2FB}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA},
    {0x1F3CF, 0x1F3D3}, {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E},
    {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC}, {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E},
    {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596}, {0x1F5A4, 0x1F5A4},
    {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7F0},
    {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x3FFFD},
};

static_assert(std::is_sorted(std::begin(kWideRanges), std::end(kWideRanges),
                             [](const Range& a, const Range& b) { return a.last < b.first; }));

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

int code_point_width(char32_t code_point) {
  // The first range that does not end before the code point.
  const auto* range = std::lower_bound(
      std::begin(kWideRanges), std::end(kWideRanges), code_point,
      [](const Range& candidate, char32_t value) { return candidate.last < value; });
  return range != std::end(kWideRanges) && range->first <= code_point ? 2 : 1;
}

std::size_t decode_utf8_sequence(std::string_view utf8, std::size_t at, char32_t& code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[at + i]); };
  const unsigned char lead = byte(0);
  const std::size_t left = utf8.size() - at;
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (left < 2 || !is_continuation(byte(1))) return 0;
    code_point = (char32_t{lead} & 0x1F) << 6 | (byte(1) & 0x3F);
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !is_continuation(byte(1)) || !is_continuation(byte(2))) return 0;
    const char32_t value =
        (char32_t{lead} & 0x0F) << 12 | char32_t{byte(1) & 0x3Fu} << 6 | (byte(2) & 0x3F);
    if (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    code_point = value;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (left < 4 || !is_continuation(byte(1)) || !is_continuation(byte(2)) ||
        !is_continuation(byte(3))) {
      return 0;
    }
    const char32_t value = (char32_t{lead} & 0x07) << 18 | char32_t{byte(1) & 0x3Fu} << 12 |
                           char32_t{byte(2) & 0x3Fu} << 6 | (byte(3) & 0x3F);
    if (value < 0x10000 || value > 0x10FFFF) return 0;
    code_point = value;
    return 4;
  }
  return 0;
}

int display_width(std::string_view text) {
  int columns = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    char32_t code_point = static_cast<unsigned char>(text[at]);
    std::size_t used = 1;
    if (code_point >= 0x80) {
      used = decode_utf8_sequence(text, at, code_point);
      if (used == 0) {
        code_point = 0xFFFD;
        used = 1;
      }
    }
    columns += code_point_width(code_point);
    at += used;
  }
  return columns;
}

}  // namespace pelmora::text
