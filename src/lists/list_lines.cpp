#include "lists/list_lines.h"

#include "util/text_helpers.h"

namespace pelmora::lists::detail {

std::vector<std::string_view> split_fields(std::string_view line) {
  return text::split(line, "|");
}

}  // namespace pelmora::lists::detail
