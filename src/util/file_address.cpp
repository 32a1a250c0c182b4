#include "util/file_address.h"

#include "util/link_schemes.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"
#include "util/utf16.h"

namespace pelmora::text {

namespace {

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    const char c = text[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != prefix[i]) return false;
  }
  return true;
}

// Percent escapes decoded as bytes; nothing when an escape is broken.
std::optional<std::string> percent_decoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = hex_digit_value(static_cast<unsigned char>(text[i + 1]));
    const int low = hex_digit_value(static_cast<unsigned char>(text[i + 2]));
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

// A decoded name that shows as it reads and can be stored in a list line.
bool plain_name(std::string_view name) {
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '|') return false;
  }
  return to_utf8(to_utf16(name)) == name;
}

}  // namespace

bool player_may_play(std::string_view address) {
  if (address.starts_with('/')) return true;
  if (local_file_of(address)) return true;
  for (const std::string_view scheme :
       {std::string_view("http://"), std::string_view("https://"), links::kEngine}) {
    if (starts_with_ignoring_case(address, scheme) && address.size() > scheme.size()) return true;
  }
  return false;
}

std::string address_name(std::string_view address) {
  if (starts_with_ignoring_case(address, links::kEngine)) {
    // qvod://SIZE|HASH|NAME|
    std::string_view rest = address.substr(links::kEngine.size());
    for (int field = 0; field < 2; ++field) {
      const auto bar = rest.find('|');
      if (bar == std::string_view::npos) return {};
      rest.remove_prefix(bar + 1);
    }
    return std::string(rest.substr(0, rest.find('|')));
  }
  const bool web = starts_with_ignoring_case(address, "http://") ||
                   starts_with_ignoring_case(address, "https://");
  if (!web) return file_part(address);
  std::string_view path = address.substr(address.find("://") + 3);
  path = path.substr(0, path.find_first_of("?#"));
  const auto slash = path.find('/');
  // An address of a site's root has no name of its own.
  if (slash == std::string_view::npos) return {};
  path.remove_prefix(slash);
  while (path.ends_with('/')) path.remove_suffix(1);
  const std::string_view segment = path.substr(path.rfind('/') + 1);
  const std::optional<std::string> decoded = percent_decoded(segment);
  if (decoded && plain_name(*decoded)) return *decoded;
  return std::string(segment);
}

std::optional<std::string> local_file_of(std::string_view address) {
  if (!starts_with_ignoring_case(address, "file://")) return std::nullopt;
  std::string_view rest = address.substr(links::kEngine.size());
  if (starts_with_ignoring_case(rest, "localhost/")) rest.remove_prefix(9);
  // Anything but an empty host names another machine.
  if (!rest.starts_with('/')) return std::nullopt;
  // A query or fragment is not part of the file's name.
  rest = rest.substr(0, rest.find_first_of("?#"));
  std::string path;
  path.reserve(rest.size());
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] != '%') {
      path += rest[i];
      continue;
    }
    if (i + 2 >= rest.size()) return std::nullopt;
    const int high = hex_digit_value(static_cast<unsigned char>(rest[i + 1]));
    const int low = hex_digit_value(static_cast<unsigned char>(rest[i + 2]));
    if (high < 0 || low < 0) return std::nullopt;
    const char byte = static_cast<char>(high * 16 + low);
    if (byte == '\0') return std::nullopt;
    path += byte;
    i += 2;
  }
  return path;
}

}  // namespace pelmora::text
