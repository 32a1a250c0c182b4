#include "util/url_codec.h"

#include "util/utf16.h"

namespace pelmora::text {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool is_kept(char16_t unit) {
  if ((unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') ||
      (unit >= u'a' && unit <= u'z')) {
    return true;
  }
  switch (unit) {
    case u'@':
    case u'*':
    case u'_':
    case u'+':
    case u'-':
    case u'.':
    case u'/':
      return true;
    default:
      return false;
  }
}

// The value of `count` hexadecimal digits starting at `at`, or -1 when one of them is not one.
int hex_run(std::u16string_view text, std::size_t at, std::size_t count) {
  int value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = hex_digit_value(text[at + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

std::string url_escape(std::string_view text) {
  const std::u16string units = to_utf16(text);
  // At most six bytes a unit; the result is written in place and cut to its length at the end.
  std::string out(units.size() * 6, '\0');
  char* next = out.data();
  for (const char16_t unit : units) {
    if (is_kept(unit)) {
      *next++ = static_cast<char>(unit);
    } else if (unit > 0 && unit < 16) {
      *next++ = '%';
      *next++ = '0';
      *next++ = kHexDigits[unit];
    } else if (unit >= 16 && unit < 256) {
      *next++ = '%';
      *next++ = kHexDigits[unit >> 4];
      *next++ = kHexDigits[unit & 0xF];
    } else {
      *next++ = '%';
      *next++ = 'u';
      *next++ = kHexDigits[(unit >> 12) & 0xF];
      *next++ = kHexDigits[(unit >> 8) & 0xF];
      *next++ = kHexDigits[(unit >> 4) & 0xF];
      *next++ = kHexDigits[unit & 0xF];
    }
  }
  out.resize(static_cast<std::size_t>(next - out.data()));
  return out;
}

std::string url_unescape(std::string_view text) {
  const std::u16string units = to_utf16(text);
  const std::size_t length = units.size();
  // Never longer than the input; written in place and cut to its length at the end.
  std::u16string out(length, u'\0');
  char16_t* next = out.data();
  std::size_t i = 0;
  while (i < length) {
    const char16_t unit = units[i];
    if (unit == u'%') {
      if (i + 5 < length && units[i + 1] == u'u') {
        const int code = hex_run(units, i + 2, 4);
        if (code >= 0) {
          *next++ = static_cast<char16_t>(code);
          i += 6;
          continue;
        }
      }
      if (i + 2 < length) {
        const int code = hex_run(units, i + 1, 2);
        if (code >= 0) {
          *next++ = static_cast<char16_t>(code);
          i += 3;
          continue;
        }
      }
    }
    *next++ = unit;
    ++i;
  }
  // Pairs of "%u" surrogates join into one character here; a lone one becomes U+FFFD.
  return to_utf8(std::u16string_view(out.data(), static_cast<std::size_t>(next - out.data())));
}

}  // namespace pelmora::text
