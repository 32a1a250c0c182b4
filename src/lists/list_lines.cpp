#include "lists/list_lines.h"

#include "util/text_helpers.h"

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
  return text::split(line, "|");
}

}  // namespace pelmora::lists::detail
