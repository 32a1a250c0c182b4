// A history list file of any content rendered into its page: no memory error; one row for every
// record with a title, in the order of the file, each numbered by its line; and no text of the
// list leaves its cell: every row has exactly the row's own markup, with the title only in the
// quoted title attribute and the link's text, neither of which can hold markup or a quote.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "util/text_helpers.h"

using namespace pelmora;

namespace {

// Consumes `literal` at the front of `rest`.
bool take(std::string_view& rest, std::string_view literal) {
  if (!rest.starts_with(literal)) return false;
  rest.remove_prefix(literal.size());
  return true;
}

// Consumes text up to `end` that holds no markup and no quote.
bool take_text(std::string_view& rest, std::string_view end) {
  const auto at = rest.find(end);
  if (at == std::string_view::npos) return false;
  if (rest.substr(0, at).find_first_of("<>\"") != std::string_view::npos) return false;
  rest.remove_prefix(at);
  return true;
}

// Consumes "N-XXXXXXXX" for line N.
bool take_target(std::string_view& rest, const std::string& line) {
  if (!take(rest, line) || !take(rest, "-") || rest.size() < 8) return false;
  for (int i = 0; i < 8; ++i) {
    const char c = rest[static_cast<std::size_t>(i)];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  rest.remove_prefix(8);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool local = (data[0] & 1) != 0;
  const std::string_view list(reinterpret_cast<const char*>(data) + 1, size - 1);

  // The lines that must get a row: every record, so that each can be seen and deleted (one
  // without a title is shown by its address or a placeholder).
  std::vector<std::string> expected;
  std::size_t number = 0;
  for (const std::string_view line : text::split_lines(list)) {
    ++number;
    if (lists::detail::is_record(line)) expected.push_back(std::to_string(number));
  }

  const std::string page = lists::page_text(list, local);
  const std::string empty = lists::page_text("", local);
  const std::string_view no_rows = "<tr><td align=center>暂无记录</td></tr>";
  const auto rows_at = empty.find(no_rows);
  FUZZ_CHECK(rows_at != std::string::npos);
  const std::string_view head = std::string_view(empty).substr(0, rows_at);
  const std::string_view tail = std::string_view(empty).substr(rows_at + no_rows.size());
  FUZZ_CHECK(std::string_view(page).starts_with(head) && std::string_view(page).ends_with(tail));
  FUZZ_CHECK(page.size() >= head.size() + tail.size());
  std::string_view rest =
      std::string_view(page).substr(head.size(), page.size() - head.size() - tail.size());

  if (expected.empty()) {
    FUZZ_CHECK(rest == no_rows);
    return 0;
  }
  for (const std::string& line : expected) {
    FUZZ_CHECK(take(rest, "<tr><td align=left width=96%><dd>"));
    FUZZ_CHECK(take(rest, line));
    FUZZ_CHECK(take(rest, "</dd><dd><a title=\""));
    FUZZ_CHECK(take_text(rest, "\" href=open://"));
    FUZZ_CHECK(take(rest, "\" href=open://"));
    FUZZ_CHECK(take_target(rest, line));
    FUZZ_CHECK(take(rest, ">"));
    FUZZ_CHECK(take_text(rest, "</a></dd><span><a href=delk://"));
    FUZZ_CHECK(take(rest, "</a></dd><span><a href=delk://"));
    FUZZ_CHECK(take_target(rest, line));
    FUZZ_CHECK(take(rest, "><img src=\"i.gif\" alt=\"删除\"></a></span></td></tr>"));
  }
  FUZZ_CHECK(rest.empty());
  return 0;
}
