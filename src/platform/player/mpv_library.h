#pragma once

#include <string>
#include <vector>

namespace pelmora::platform::qt {

// The program does not link libmpv: the library and the codec libraries it pulls in take a good
// part of a start-up to load and some 20 MiB of memory, so the player opens them when its first
// item plays. Without libmpv on the machine every call fails as libmpv fails (mpv_create gives
// null).
//
// Whether libmpv is on the machine, without loading it: already loaded, or a readable file of
// its name where the dynamic loader looks (LD_LIBRARY_PATH, the loader's cache, the system's
// library folders).
bool player_library_present();

// Whether a readable file called one of `names` is in one of `folders`, or at a path that the
// dynamic loader's cache lists (`cache`: the bytes of /etc/ld.so.cache, which stores each path
// whole, ending in a zero byte).
bool library_found(const std::vector<std::string>& names, const std::vector<std::string>& folders,
                   const std::string& cache);

// Starts loading libmpv on a thread of its own, once: for a moment when an item is about to
// play (the player's first call then waits for the rest of it, if any). Nothing when loaded.
void preload_player_library();

}  // namespace pelmora::platform::qt
