#pragma once

namespace pelmora::platform::posix {

// Keeps the C library's allocator to two arenas for all threads (glibc; elsewhere nothing).
//
// By default glibc gives a thread that finds the arenas busy an arena of its own, up to eight
// per processor core, and never gives an arena's memory back as a whole. The player starts
// decoder and reader threads for every item and the browser engine runs dozens of its own, so a
// long session kept making arenas: each held about 10 MB the program no longer used, and the
// main process grew by that every few episodes for as long as it played (as far as sixteen
// arenas on two cores). Call first thing in `main`, before any thread starts.
void share_allocation_arenas();

}  // namespace pelmora::platform::posix
