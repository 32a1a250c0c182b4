#include "util/folders.h"

#include <utility>

#include "util/utf16.h"

namespace pelmora::text {

namespace {

// The text as code points, so that "?" stands for one whole character, never one byte of it.
std::u32string code_points(std::string_view utf8) {
  const std::u16string units = to_utf16(utf8);
  std::u32string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      out += 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    } else {
      out += unit;
    }
  }
  return out;
}

}  // namespace

bool wildcard_match(std::string_view pattern, std::string_view name) {
  // "*.*" has always stood for every file, names without an extension included.
  if (pattern == "*.*") pattern = "*";
  const std::u32string wild = code_points(pattern);
  const std::u32string text = code_points(name);
  // Greedy match that, on a mismatch, lets the last "*" swallow one more character. This never
  // needs to revisit an earlier "*", so the work is bounded by the product of the two lengths.
  std::size_t p = 0;
  std::size_t t = 0;
  std::size_t star = std::u32string::npos;
  std::size_t star_text = 0;
  while (t < text.size()) {
    if (p < wild.size() && (wild[p] == U'?' || wild[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < wild.size() && wild[p] == U'*') {
      star = p++;
      star_text = t;
    } else if (star != std::u32string::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < wild.size() && wild[p] == U'*') ++p;
  return p == wild.size();
}

}  // namespace pelmora::text
