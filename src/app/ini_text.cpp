#include "app/ini_text.h"

#include "util/text_helpers.h"

#include <vector>

namespace pelmora::ini {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The lines of the text; byte-order marks at the very start are not part of the first line. An
// editor that added its mark to a file that had one already leaves two (or more), which would
// otherwise hide the first section, and a write would then add it again below.
std::vector<std::string_view> split_lines(std::string_view text) {
  while (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text::split_lines(text);
}

// The name of a "[section]" line, or nothing when the line is not a section header.
std::optional<std::string_view> section_name(std::string_view line) {
  line = trim(line);
  if (!line.starts_with('[')) return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

// The key of a "key=value" line, or nothing for comments and lines without "=".
std::optional<std::string_view> key_name(std::string_view line) {
  const std::string_view trimmed = trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return trim(line.substr(0, equals));
}

std::string_view value_of(std::string_view line) {
  std::string_view value = trim(line.substr(line.find('=') + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Where a section's lines are: [first, end) after its header; npos when it is missing.
struct SectionSpan {
  std::size_t header = std::string_view::npos;
  std::size_t end = 0;
};

SectionSpan find_section(const std::vector<std::string_view>& lines, std::string_view section) {
  SectionSpan span;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = section_name(lines[i]);
    if (!name) continue;
    if (span.header != std::string_view::npos) {
      span.end = i;
      return span;
    }
    if (same_name(*name, section)) span.header = i;
  }
  span.end = lines.size();
  return span;
}

}  // namespace

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string> find_value(std::string_view text, std::string_view section,
                                      std::string_view key) {
  const auto lines = split_lines(text);
  const SectionSpan span = find_section(lines, section);
  if (span.header == std::string_view::npos) return std::nullopt;
  for (std::size_t i = span.header + 1; i < span.end; ++i) {
    const auto name = key_name(lines[i]);
    if (name && same_name(*name, key)) return std::string(value_of(lines[i]));
  }
  return std::nullopt;
}

std::string with_value(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value) {
  std::vector<std::string> lines;
  for (std::string_view line : split_lines(text)) lines.emplace_back(line);
  const std::string entry = std::string(key) + "=" + std::string(value);

  std::vector<std::string_view> views(lines.begin(), lines.end());
  const SectionSpan span = find_section(views, section);
  if (span.header == std::string_view::npos) {
    std::string header(1, '[');
    header.append(section).append(1, ']');
    lines.push_back(std::move(header));
    lines.push_back(entry);
  } else {
    bool replaced = false;
    std::size_t last_filled = span.header;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
      if (!trim(lines[i]).empty()) last_filled = i;
      const auto name = key_name(lines[i]);
      if (name && same_name(*name, key)) {
        lines[i] = std::string(*name) + "=" + std::string(value);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_filled) + 1, entry);
    }
  }

  std::string result;
  for (const auto& line : lines) {
    result += line;
    result += "\r\n";
  }
  return result;
}

}  // namespace pelmora::ini
