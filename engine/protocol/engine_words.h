#pragma once

#include <optional>
#include <string_view>

// The words of the terminal's control API that the terminal writes and the program reads: an
// item's state and its error, and the reasons a request is refused. One definition for both
// sides, so that a word added or renamed on one side cannot go unnoticed on the other.
namespace pelmora::engine::words {

// An item's state ("state=" of a status answer).
enum class ItemState { connecting, metadata, buffering, downloading, finished, error };

std::string_view state_word(ItemState state);
// Nothing for a word that names no state.
std::optional<ItemState> parse_state(std::string_view word);

// Why an item is in error ("error=" of a status answer, and of a stream answer that cannot be
// served).
inline constexpr std::string_view kNoSource = "no-source";  // no metadata or no byte in time
inline constexpr std::string_view kUnwritableFolder = "unwritable-folder";  // cannot be written
inline constexpr std::string_view kFolderFull = "folder-full";  // the download folder is full
inline constexpr std::string_view kMetadataMismatch = "metadata-mismatch";  // not SIZE bytes

// Why a control request is refused ("error=" of a 4xx answer).
inline constexpr std::string_view kBadAddress = "bad-address";
inline constexpr std::string_view kBadRole = "bad-role";
inline constexpr std::string_view kUnknownItem = "unknown-item";
inline constexpr std::string_view kForbidden = "forbidden";

// The roles an item is opened in ("role=" of an open request).
inline constexpr std::string_view kRolePlay = "play";
inline constexpr std::string_view kRoleNext = "next";

}  // namespace pelmora::engine::words
