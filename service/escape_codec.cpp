#include "escape_codec.h"

namespace pelmora::service::codec {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char kHex[] = "0123456789ABCDEF";

bool kept_as_is(char16_t unit) {
  return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') ||
         (unit >= u'a' && unit <= u'z') || unit == u'@' || unit == u'*' || unit == u'_' ||
         unit == u'+' || unit == u'-' || unit == u'.' || unit == u'/';
}

void append_hex(std::string& out, unsigned value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
}

void append_utf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int hex_run(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    const int digit = hex_value(text[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

std::u16string to_units(std::string_view utf8) {
  std::u16string units;
  units.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead < 0x80) {
      units += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, least = 0x10000;
    }
    bool valid = length > 0 && i + length <= utf8.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      units += kReplacement;  // one for the offending byte; the next byte starts afresh
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      units += static_cast<char16_t>(0xD800 + (code >> 10));
      units += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
    i += length;
  }
  return units;
}

std::string from_units(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      append_utf8(out, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::string escape(std::string_view utf8) {
  std::string out;
  for (const char16_t unit : to_units(utf8)) {
    if (kept_as_is(unit)) {
      out += static_cast<char>(unit);
    } else if (unit > 0 && unit < 16) {
      out += "%0";
      append_hex(out, unit, 1);
    } else if (unit > 0 && unit < 256) {
      out += '%';
      append_hex(out, unit, 2);
    } else {
      out += "%u";
      append_hex(out, unit, 4);
    }
  }
  return out;
}

std::string unescape(std::string_view escaped) {
  std::u16string units;
  size_t i = 0;
  while (i < escaped.size()) {
    if (escaped[i] == '%' && i + 1 < escaped.size() && escaped[i + 1] == 'u') {
      if (const int value = hex_run(escaped, i + 2, 4); value >= 0) {
        units += static_cast<char16_t>(value);
        i += 6;
        continue;
      }
    }
    if (escaped[i] == '%') {
      if (const int value = hex_run(escaped, i + 1, 2); value >= 0) {
        units += static_cast<char16_t>(value);
        i += 3;
        continue;
      }
    }
    // A plain character: the whole UTF-8 sequence it starts goes over as it is.
    size_t end = i + 1;
    while (end < escaped.size() && (static_cast<unsigned char>(escaped[end]) & 0xC0) == 0x80) ++end;
    units += to_units(escaped.substr(i, end - i));
    i = end;
  }
  return from_units(units);
}

}  // namespace pelmora::service::codec
