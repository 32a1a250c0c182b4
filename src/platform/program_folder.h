#pragma once

#include <string>
#include <string_view>

namespace pelmora::platform {

// The folder that holds the program's own files ("config.dll", the lists and their pages):
// `home_override` when given (created when missing); otherwise the folder of the executable
// when the user may write there and it is not an installed "bin" folder (a self-contained,
// portable copy); either of them also when nothing can be written there but it holds the
// program's settings already (they are read from it; changes cannot be saved); otherwise
// $XDG_DATA_HOME/pelmora, by default ~/.local/share/pelmora (created when missing).
std::string resolve_program_folder(std::string_view home_override);

// The folder of the running executable; empty when it cannot be found.
std::string executable_folder();

}  // namespace pelmora::platform
