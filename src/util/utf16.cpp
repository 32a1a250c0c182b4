#include "util/utf16.h"

#include <cstdint>

namespace pelmora::text {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes one well-formed UTF-8 sequence at `at`, or returns 0 bytes used when the bytes there
// are not one (bad lead byte, missing or wrong continuation, overlong form, surrogate, or a code
// point beyond U+10FFFF).
std::size_t decode_one(std::string_view utf8, std::size_t at, char32_t& code_point) {
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
    const std::size_t used = decode_one(utf8, at, code_point);
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
