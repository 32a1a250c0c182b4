#include "lists/list_lines.h"

#include <cstdint>

#include "util/text_helpers.h"

namespace pelmora::lists::detail {

std::vector<std::string_view> split_fields(std::string_view line) {
  return text::split(line, "|");
}

std::string row_check(std::string_view record) {
  const auto fields = split_fields(record);
  // FNV-1a over the first two fields and the "|" between them.
  std::uint32_t hash = 2166136261u;
  const auto mix = [&hash](std::string_view bytes) {
    for (const char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
  };
  mix(fields[0]);
  mix("|");
  if (fields.size() > 1) mix(fields[1]);
  constexpr char kDigits[] = "0123456789abcdef";
  std::string check(8, '0');
  for (int i = 7; i >= 0; --i, hash >>= 4) check[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
  return check;
}

}  // namespace pelmora::lists::detail
