#include "lists/download_match.h"

#include <cmath>

#include "lists/list_lines.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"
#include "util/utf16.h"

namespace pelmora::lists {

namespace {

// The first `count` characters (UTF-16 code units, as the program counts) of a name.
std::string first_characters(std::string_view text, std::size_t count) {
  std::u16string units = text::to_utf16(text);
  if (units.size() > count) units.resize(count);
  return text::to_utf8(units);
}

}  // namespace

bool DownloadMatch::matches(std::string_view file_name) const {
  return first_characters(file_name, length) == stem;
}

DownloadMatch download_match(std::string_view play_address) {
  DownloadMatch match;
  const auto parts = detail::split_fields(play_address);
  if (parts.size() < 2) return match;  // no "|": not a download the engine names
  const std::string name = parts.size() > 2 ? text::url_unescape(parts[2]) : std::string();
  match.stem = text::drop_ext(name);
  const std::size_t length = text::to_utf16(match.stem).size();
  const auto half = static_cast<std::size_t>(std::nearbyint(static_cast<double>(length) / 2.0));
  match.length = half < 3 ? length : half;
  match.stem = first_characters(match.stem, match.length);
  return match;
}

}  // namespace pelmora::lists
