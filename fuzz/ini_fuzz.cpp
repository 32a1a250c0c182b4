// The INI layer on any settings file: no memory error; a value written is the value read back;
// a write changes no other key; and a write never adds a second copy of a section the file has
// (however its header is preceded: byte-order marks, blanks).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/ini_text.h"
#include "fuzz_check.h"
#include "util/text_helpers.h"

using namespace pelmora;

namespace {

constexpr std::array<std::string_view, 4> kSections = {"S_q", "main", "User", "ver"};
constexpr std::array<std::string_view, 4> kKeys = {"quit", "ts", "Name", "qvodw"};
constexpr std::array<std::string_view, 4> kValues = {"2", "", "/media/影片/", "13590"};

// Header lines of `section` as a person reading the file sees them.
int headers(std::string_view text, std::string_view section) {
  int count = 0;
  // Byte-order marks at the start of the file show as nothing.
  while (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  for (std::string_view line : text::split_lines(text)) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.size() < section.size() + 2 || line.front() != '[') continue;
    if (ini::same_name(line.substr(1, section.size()), section) &&
        line[section.size() + 1] == ']') {
      ++count;
    }
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view section = kSections[data[0] & 3];
  const std::string_view key = kKeys[(data[0] >> 2) & 3];
  const std::string_view value = kValues[(data[0] >> 4) & 3];
  const std::string_view other_section = kSections[(data[0] >> 6) & 3];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::array<std::optional<std::string>, 4> before;
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    before[i] = ini::find_value(text, other_section, kKeys[i]);
  }
  const std::string written = ini::with_value(text, section, key, value);
  FUZZ_CHECK(ini::find_value(written, section, key) == std::string(value));
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (ini::same_name(other_section, section) && ini::same_name(kKeys[i], key)) continue;
    FUZZ_CHECK(ini::find_value(written, other_section, kKeys[i]) == before[i]);
  }
  FUZZ_CHECK(headers(written, section) <= std::max(1, headers(text, section)));
  FUZZ_CHECK(ini::with_value(written, section, key, value) == written);
  return 0;
}
