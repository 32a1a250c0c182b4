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

}  // namespace pelmora::text
