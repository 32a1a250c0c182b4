#pragma once

#include <string>
#include <string_view>

#include "lists/list_files.h"

namespace pelmora::lists {

// The page text for the given list file content: one row per record with a non-empty title,
// numbered by physical line, or the single "暂无记录" row. `local` chooses the title field
// (display name for the local list, programme name otherwise). Titles are HTML-escaped and
// the title attribute is quoted, so no title can break the row or run script in the page.
std::string page_text(std::string_view list_content, bool local);

// Renders the list file into its page ("c.htm" or "f.htm") in the list's folder and shows it
// through the place's view. A list that cannot be read leaves the old page and shows nothing.
bool render_list(const ListPlace& place, std::string_view list_file);

inline constexpr std::string_view kPageIconFile = "i.gif";

// Copies the delete icon "i.gif" that the pages show into the folder when it is missing.
bool ensure_page_icon(const std::string& folder);

}  // namespace pelmora::lists
