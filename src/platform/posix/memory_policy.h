#pragma once

namespace pelmora::platform::posix {

// How the C library's allocator hands memory back: blocks of 128 KiB and more (decoded pictures,
// image buffers, the player's packet and frame pools) always get pages of their own, returned
// to the system when freed, and the free top of every allocation arena is returned once it
// passes 128 KiB.
//
// By default glibc raises those limits the first time such a block is freed (up to 32 MiB), so
// large blocks then come from the arenas of the threads that made them and stay there when
// freed. The player starts decoder threads for every item, each new thread takes an arena of its
// own, and each arena kept about 10 MB: the program grew by that much every few episodes for as
// long as it played. Call first thing in `main`, before any thread starts.
void return_large_blocks_to_the_system();

}  // namespace pelmora::platform::posix
