#pragma once

#include <optional>
#include <string>
#include <string_view>

// Addresses of local files as the desktop hands them to a program ("Open with" of a file
// manager or browser runs the program with a "file://" address).
namespace pelmora::text {

// The path a "file:" address names on this machine: "file:///home/a/b%20c.mp4" gives
// "/home/a/b c.mp4" (percent escapes decoded as bytes, so UTF-8 names come out whole);
// "file://localhost/..." counts as local. Nothing for any other text, for a file on another
// host, and for an address whose escapes are broken or decode to a NUL byte.
std::optional<std::string> local_file_of(std::string_view address);

// Whether the player may be given `address`: a local file (an absolute path or a "file:"
// address of this machine), an "http://" or "https://" address, or a "qvod://" address (the
// scheme in any letter case). Anything else (the player's own device and filter schemes,
// unknown schemes, relative names it would read in its own folder or as standard input) is not
// the user's media and is never played.
bool player_may_play(std::string_view address);

// The name an item is shown and listed by: the file name of a path; for an "http(s)" address
// its last path segment (before any query), percent escapes decoded; for a "qvod://" address
// the file name it carries. Empty when there is none. A decoded name that would not be valid
// text or that holds a line break or "|" is kept as written.
std::string address_name(std::string_view address);

}  // namespace pelmora::text
