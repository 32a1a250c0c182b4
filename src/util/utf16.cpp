#include "util/utf16.h"

#include <cstdint>

#include "util/text_columns.h"

namespace pelmora::text {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Writes the UTF-8 form of `code_point` at `out` and returns the position after it.
char* put_utf8(char* out, char32_t code_point) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

}  // namespace

std::u16string to_utf16(std::string_view utf8) {
  // Never more code units than bytes: every sequence of n bytes gives at most n units. The
  // result is written in place and cut to its length at the end.
  std::u16string out(utf8.size(), u'\0');
  char16_t* next = out.data();
  std::size_t at = 0;
  while (at < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      *next++ = lead;
      ++at;
      continue;
    }
    char32_t code_point = 0;
    const std::size_t used = decode_utf8_sequence(utf8, at, code_point);
    if (used == 0) {
      *next++ = kReplacement;
      ++at;
    } else if (code_point < 0x10000) {
      *next++ = static_cast<char16_t>(code_point);
      at += used;
    } else {
      const char32_t offset = code_point - 0x10000;
      *next++ = static_cast<char16_t>(0xD800 + (offset >> 10));
      *next++ = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
      at += used;
    }
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  return out;
}

std::string to_utf8(std::u16string_view utf16) {
  // At most three bytes a unit: a pair of units gives four.
  std::string out(utf16.size() * 3, '\0');
  char* next = out.data();
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit < 0xD800 || unit > 0xDFFF) {
      next = put_utf8(next, unit);
    } else if (unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
               utf16[i + 1] <= 0xDFFF) {
      next = put_utf8(next, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else {
      next = put_utf8(next, kReplacement);
    }
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  return out;
}

}  // namespace pelmora::text
