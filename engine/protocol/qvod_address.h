#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora::engine {

// An engine address "qvod://SIZE|HASH|NAME|": one file NAME of SIZE bytes whose content is the
// single-file torrent with the v1 info-hash HASH. The terminal and the program that drives it
// read addresses with this one grammar.
// The longest NAME, in bytes: the longest file name the usual file systems take.
inline constexpr std::size_t kMaxNameBytes = 255;

struct QvodAddress {
  std::uint64_t size = 0;
  std::string hash;  // 40 hex digits, lowercase
  std::string name;
};

// The address's parts, or nothing for anything else: a missing scheme or field, a SIZE that is
// not a decimal number above 0 (or does not fit 64 bits), a HASH that is not 40 hex digits, a
// NAME that is empty, "." or "..", longer than a file name may be (255 bytes), holds a "/", a
// backslash or a control character, or text after the closing "|". NAME is the file's name in the
// download folder, so whatever could not be that name is refused here, before anything is
// fetched. The scheme is matched without regard to case.
std::optional<QvodAddress> parse_qvod_address(std::string_view text);

// Whether `text` is 40 hex digits.
bool is_info_hash(std::string_view text);

}  // namespace pelmora::engine
