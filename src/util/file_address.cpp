#include "util/file_address.h"

#include "util/url_codec.h"

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

}  // namespace

std::optional<std::string> local_file_of(std::string_view address) {
  if (!starts_with_ignoring_case(address, "file://")) return std::nullopt;
  std::string_view rest = address.substr(7);
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
