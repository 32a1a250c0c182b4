#include "torrent_maker.h"

#include <libtorrent/hasher.hpp>
#include <libtorrent/hex.hpp>

#include <fstream>
#include <vector>

namespace pelmora::torrent {

std::string bencode_string(std::string_view text) {
  return std::to_string(text.size()) + ":" + std::string(text);
}

std::optional<MadeTorrent> make_torrent(const std::filesystem::path& path, std::string_view name) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string pieces;
  std::vector<char> buffer(kPieceSize);
  std::uint64_t size = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const std::streamsize got = in.gcount();
    if (got <= 0) break;
    size += static_cast<std::uint64_t>(got);
    lt::hasher piece(buffer.data(), static_cast<int>(got));
    const lt::sha1_hash digest = piece.final();
    pieces.append(digest.data(), digest.size());
  }
  if (in.bad() || !in.eof() || size == 0) return std::nullopt;

  MadeTorrent made;
  made.size = size;
  // Keys in sorted order, as bencoding requires.
  made.info = "d6:lengthi" + std::to_string(size) + "e4:name" + bencode_string(name) +
              "12:piece lengthi" + std::to_string(kPieceSize) + "e6:pieces" +
              bencode_string(pieces) + "e";
  made.torrent = "d4:info" + made.info + "e";
  lt::hasher whole(made.info.data(), static_cast<int>(made.info.size()));
  const lt::sha1_hash hash = whole.final();
  made.info_hash = lt::aux::to_hex({hash.data(), static_cast<std::ptrdiff_t>(hash.size())});
  return made;
}

}  // namespace pelmora::torrent
