#include "lists/list_lines.h"

namespace pelmora::lists::detail {

std::vector<std::string_view> split_lines(std::string_view content, std::size_t limit) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < content.size() && lines.size() < limit) {
    std::size_t end = content.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = line.find('|', start);
    if (bar == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
}

}  // namespace pelmora::lists::detail
