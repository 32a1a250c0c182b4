#pragma once

#include <libtorrent/session_params.hpp>

namespace pelmora::engine {

// The terminal's disk input and output, around libtorrent's own (which keeps a pool of open
// files and writes them with plain writes):
// - a piece whose blocks are written in order is hashed from the bytes as they arrive, on a
//   worker thread, instead of being read back from the file;
// - a piece's hash is handed over only once all its writes have reached the file, so a piece
//   that has passed can be read from the file at once;
// - everything else that reads (pieces written out of order or in part, the check of files found
//   on disk, blocks sent to peers) reads the files with plain reads on the worker thread.
// The files are never read through a mapping: pages read that way would count as the
// terminal's own memory, which would grow with the files it downloads and shares.
std::unique_ptr<lt::disk_interface> hashing_disk_io_constructor(lt::io_context& ios,
                                                                lt::settings_interface const& s,
                                                                lt::counters& c);

}  // namespace pelmora::engine
