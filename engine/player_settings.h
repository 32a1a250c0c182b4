#pragma once

#include <string>
#include <string_view>

// The terminal's reading of its settings file "QvodPlayer.xml" in the player folder, which the
// program's settings dialog writes.
namespace pelmora::engine {

// The download folder named by the first line of `settings_text` holding "Defaultsavepath=":
// the text between `Defaultsavepath="` and the next double quote; empty when no line names one.
std::string save_folder_in(std::string_view settings_text);

// The download folder of the settings file in `player_folder`; `fallback` when there is no such
// file, empty when the file names none.
std::string configured_save_folder(const std::string& player_folder, const std::string& fallback);

// "$HOME/Media/" ("/Media/" without a home): where downloads go when nothing else is set.
std::string default_save_folder();

}  // namespace pelmora::engine
