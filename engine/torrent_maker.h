#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The one way a file becomes a torrent here. The demo service (its .torrent endpoint and its
// records) and a seeding terminal both make torrents of the same files; because the torrent is a
// pure function of the file's bytes and name, their info-hashes agree without any exchange.
namespace pelmora::torrent {

inline constexpr std::uint32_t kPieceSize = 256 * 1024;

struct MadeTorrent {
  std::string torrent;    // the bencoded .torrent file: {"info": {...}} and nothing else
  std::string info;       // the bencoded info dictionary, as the metadata exchange sends it
  std::string info_hash;  // SHA-1 of `info`, 40 lowercase hex digits
  std::uint64_t size = 0;
};

// The single-file torrent of the file at `path` under `name`: piece size 256 KiB, no creation
// date, creator, comment, announce or url-list. Nothing when the file cannot be read whole, is
// empty, or `name` is not a plain file name.
std::optional<MadeTorrent> make_torrent(const std::filesystem::path& path, std::string_view name);

// A bencoded byte string ("4:spam").
std::string bencode_string(std::string_view text);

}  // namespace pelmora::torrent
