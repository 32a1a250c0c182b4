#include "qvod_address.h"

#include <cctype>

namespace pelmora::engine {

bool is_info_hash(std::string_view text) {
  if (text.size() != 40) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::optional<QvodAddress> parse_qvod_address(std::string_view text) {
  constexpr std::string_view kScheme = "qvod://";
  if (text.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != kScheme[i]) return std::nullopt;
  }
  text.remove_prefix(kScheme.size());
  const std::size_t bar1 = text.find('|');
  if (bar1 == std::string_view::npos) return std::nullopt;
  const std::size_t bar2 = text.find('|', bar1 + 1);
  if (bar2 == std::string_view::npos) return std::nullopt;
  const std::size_t bar3 = text.find('|', bar2 + 1);
  if (bar3 == std::string_view::npos || bar3 + 1 != text.size()) return std::nullopt;

  const std::string_view size_text = text.substr(0, bar1);
  const std::string_view hash = text.substr(bar1 + 1, bar2 - bar1 - 1);
  const std::string_view name = text.substr(bar2 + 1, bar3 - bar2 - 1);

  if (size_text.empty() || size_text.size() > 20) return std::nullopt;
  std::uint64_t size = 0;
  for (char c : size_text) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (size > (UINT64_MAX - digit) / 10) return std::nullopt;
    size = size * 10 + digit;
  }
  if (size == 0 || !is_info_hash(hash)) return std::nullopt;
  if (name.empty() || name == "." || name == ".." || name.size() > kMaxNameBytes) {
    return std::nullopt;
  }
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) return std::nullopt;
  }

  QvodAddress address;
  address.size = size;
  for (char c : hash)
    address.hash += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  address.name = std::string(name);
  return address;
}

}  // namespace pelmora::engine
