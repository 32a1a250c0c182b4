#pragma once

#include <optional>
#include <string>
#include <string_view>

// The program's INI layer on text: the settings file and the configuration file are both read
// and written through it. It behaves as the private-profile calls of the original system:
// section and key names match without regard to case, the first occurrence of a section or a
// key wins, "; comment" lines and lines that are neither a section nor a key are ignored when
// reading and kept as they are when writing.
namespace pelmora::ini {

// The value of a key, trimmed of surrounding blanks and of one pair of matching surrounding
// quotes; nothing when the section or the key is missing.
std::optional<std::string> find_value(std::string_view text, std::string_view section,
                                      std::string_view key);

// The text with the key set: its line rewritten in place when the key exists, added at the end
// of its section when it does not, and the section added at the end of the text when that is
// missing. Every other line is kept byte for byte; lines end in CR LF.
std::string with_value(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value);

// ASCII case-insensitive equality, as section and key names compare.
bool same_name(std::string_view a, std::string_view b);

}  // namespace pelmora::ini
