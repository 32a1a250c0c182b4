#pragma once

#include <string>
#include <string_view>

namespace pelmora::app {

// The file or address of a start's command line, made independent of the folder the program
// was started in: a relative path becomes an absolute one under `working_folder`, so that the
// running window (a second start hands the command over) plays the file the user meant, shows
// its name and lists it. Double quotes around the path are dropped, as the command handler
// drops them anyway. Addresses ("scheme://..."), absolute paths, paths from the home folder
// ("~") and an empty command line are returned as they are.
std::string absolute_command_line(std::string_view command_line, std::string_view working_folder);
// The same in the process's current folder (unchanged when that cannot be read).
std::string absolute_command_line(std::string_view command_line);

}  // namespace pelmora::app
