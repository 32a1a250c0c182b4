#pragma once

namespace pelmora::platform::qt {

// The program does not link libmpv: the library and the codec libraries it pulls in take a good
// part of a start-up to load, so they are opened at run time instead. This starts opening them
// on a thread of their own, to be called first thing in main() so that the work overlaps the
// making of the application object. The player's calls wait for it when they come first.
// Without libmpv on the machine every call fails as libmpv fails (mpv_create gives null), which
// the start-up's player check reports.
void preload_player_library();

}  // namespace pelmora::platform::qt
