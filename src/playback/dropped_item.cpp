#include "playback/dropped_item.h"

#include <string_view>

#include "util/file_address.h"

namespace pelmora::playback::drops {

namespace {

std::string_view trimmed(std::string_view line) {
  const auto first = line.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = line.find_last_not_of(" \t\r\n");
  return line.substr(first, last - first + 1);
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<Dropped> first_playable(const std::vector<std::string>& lines,
                                      const std::function<bool(const std::string&)>& is_file) {
  for (const std::string& raw : lines) {
    // One item may itself hold several lines (a text drop).
    std::string_view rest = raw;
    while (!rest.empty()) {
      const auto end = rest.find('\n');
      const std::string_view line = trimmed(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      if (line.empty() || line.front() == '#') continue;
      if (starts_with_nocase(line, "qvod://") || starts_with_nocase(line, "http://") ||
          starts_with_nocase(line, "https://")) {
        return Dropped{Dropped::Kind::kAddress, std::string(line)};
      }
      std::optional<std::string> path = text::local_file_of(line);
      if (!path && line.front() == '/') path = std::string(line);
      if (path && is_file(*path)) return Dropped{Dropped::Kind::kFile, std::move(*path)};
    }
  }
  return std::nullopt;
}

}  // namespace pelmora::playback::drops
