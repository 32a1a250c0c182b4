#pragma once

#include <libtorrent/session_params.hpp>

namespace pelmora::engine {

// The terminal's disk input and output. Files are written with plain writes through a pool of
// open files, and a piece whose blocks are written in order is hashed from the bytes as they
// arrive, on a thread of its own: it is not read back from the file to be checked. Pieces
// written otherwise (out of order, or partly before a restart), and the check of files found on
// disk, are read back and hashed as usual. A piece's hash is handed over only once all its
// writes have reached the file, so a piece that has passed can be read from the file at once.
//
// Reads (for peers, and pieces hashed from the file) go through a mapping of the file; nothing
// in the download of an item touches it, so the terminal's memory does not grow with the files
// it downloads.
std::unique_ptr<lt::disk_interface> hashing_disk_io_constructor(lt::io_context& ios,
                                                                lt::settings_interface const& s,
                                                                lt::counters& c);

}  // namespace pelmora::engine
