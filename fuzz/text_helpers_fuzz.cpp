// The escape codec and the text helpers on any text: no memory error, and what the program
// relies on: unescaping an escape gives the text back, an escape holds only the characters it
// may, a cut title is the start of the title.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "util/display_width.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = text::url_escape(text);
  for (const char c : escaped) {
    const bool kept = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                      std::string_view("@*_+-./%").find(c) != std::string_view::npos;
    FUZZ_CHECK(kept);
  }
  const std::string unescaped = text::url_unescape(text);
  const bool well_formed = fuzz::is_utf8(text.data(), text.size());
  if (well_formed) {
    FUZZ_CHECK(text::url_unescape(escaped) == text);
    FUZZ_CHECK(fuzz::is_utf8(unescaped.data(), unescaped.size()));
    for (const int width : {0, 1, 24, 30}) {
      const std::string cut = text::cut_width(text, width);
      FUZZ_CHECK(text.starts_with(cut));
    }
  }

  const std::string part = text::file_part(text);
  FUZZ_CHECK(text.ends_with(part));
  const std::string stem = text::drop_ext(text);
  FUZZ_CHECK(text.starts_with(stem));
  const std::string inside =
      text::text_between(text, "Defaultsavepath=\"", "\"", text::Between::kInside);
  FUZZ_CHECK(inside.find('"') == std::string::npos);
  const std::string with_markers = text::text_between(text, "<", ">", text::Between::kWithMarkers);
  FUZZ_CHECK(with_markers.empty() || (with_markers.front() == '<' && with_markers.back() == '>'));

  std::size_t joined = 0;
  for (const std::string_view line : text::split_lines(text)) joined += line.size();
  FUZZ_CHECK(joined <= text.size());
  std::int64_t value = 0;
  if (text::parse_whole(text, value)) FUZZ_CHECK(text.find_first_of("0123456789") != text.npos);
  if (size >= 8) {
    std::int64_t seconds = 0;
    for (int i = 0; i < 8; ++i) seconds = (seconds << 8) | data[i];
    const std::string shown = text::time_text(seconds);
    FUZZ_CHECK(shown.size() >= 5 && shown[shown.size() - 3] == ':');
  }
  return 0;
}
