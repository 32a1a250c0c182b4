#pragma once

#include <string>
#include <string_view>

namespace pelmora::text {

// Appends `text` with & < > " ' written as character references, so it can stand in an element
// or a quoted attribute as plain text and never as markup or script.
void append_html_escaped(std::string& out, std::string_view text);

std::string html_escape(std::string_view text);

}  // namespace pelmora::text
