#pragma once

#include <string>

// Where the download engine's terminal program lives, and the link to it in a player folder.
namespace pelmora::platform::engine_program {

// The terminal program's file name: the housekeeping finds and ends it by this name.
inline constexpr const char* kTerminalName = "QvodTerminal.exe";

// The one place that says where the terminal program is looked for. $PELMORA_ENGINE_PROGRAM,
// when set, is the only place (tests and trials of another build; a path that is not an
// executable file means "no engine"). Otherwise the first of these that exists wins:
//   1. beside the running executable (the build tree builds both into one folder, and a
//      program folder carried around whole keeps them together);
//   2. "../lib/pelmora/" from the running executable (an installed program in PREFIX/bin, as
//      the package and `cmake --install` lay it out, whatever PREFIX is);
//   3. the installation's library folder, PELMORA_ENGINE_DIR as the build configured it
//      (CMAKE_INSTALL_FULL_LIBDIR + "/pelmora").
// Empty when none of them holds it.
std::string terminal_program();

// Puts a symbolic link named QvodTerminal.exe into `player_folder` that points at `program`. A
// link that points elsewhere is replaced; a real file of that name is a terminal of the user's
// own and stays. The terminal started through the link takes the link's folder as its player
// folder, and the process list names it by that path. True when the folder then holds a
// terminal program (link or file).
bool link_terminal(const std::string& player_folder, const std::string& program);

// This program as the terminal's "--end-with" names it: "PID:START", its process identifier
// and the time it started (clock ticks since boot), so that a later process given the same
// identifier is never taken for it. "none" when that cannot be read.
std::string own_identity();

}  // namespace pelmora::platform::engine_program
