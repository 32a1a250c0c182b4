#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine_client/engine_program.h"

namespace pelmora::platform {
class Launcher;
class ProcessTable;
}  // namespace pelmora::platform

// The outside player engine's own programs and its settings file: finding and ending its
// processes, and reading and writing the download folder in "QvodPlayer.xml" in its folder.
namespace pelmora::settings {
class Store;
}

namespace pelmora::playback::engine {

inline constexpr std::string_view kPlayerProgram = "QvodPlayer.exe";
inline constexpr std::string_view kTerminalProgram = platform::engine_program::kTerminalName;
inline constexpr std::string_view kSettingsFile = "QvodPlayer.xml";
// The download folder stands between this marker and the next double quote.
inline constexpr std::string_view kSaveKey = "Defaultsavepath=";
inline constexpr std::string_view kSaveMarker = "Defaultsavepath=\"";

// Ends the first process whose executable name contains `name` (case-sensitive). True when one
// was found and ended. At most one process is ended per call.
bool end_process(platform::ProcessTable& processes, std::string_view name);

// Ends every process whose executable name equals `name` without regard to case, and returns
// the executable path of the last one ended (empty when none ran or its path is unknown).
std::string terminate_all(platform::ProcessTable& processes, std::string_view name);

// The executable path of a running process named `name` (compared as terminate_all does),
// without ending it; empty when none runs.
std::string running_path(platform::ProcessTable& processes, std::string_view name);

// Clears icons of ended programs from the notification area. Linux trays drop the icon of a
// program that ends, so there is nothing to do.
void sweep_tray();

// `text` without any occurrence of `what` (case-sensitive).
std::string remove_all(std::string_view text, std::string_view what);

// The engine's settings file in `player_folder`, as its readers hold it: every line followed by
// CR LF. Nothing when the folder is unknown or the file cannot be read.
std::optional<std::string> read_settings_text(std::string_view player_folder);

// The download folder named by the first line of `settings_text` that holds the key; empty when
// no line does.
std::string save_folder_in(std::string_view settings_text);

// Where the engine saves when its settings file is missing: the "Media" folder of the user's
// home ("/Media/" without a home).
std::string default_save_folder();

// The engine's download folder: from its settings file in `player_folder`, or the default when
// the file is missing.
std::string save_folder(std::string_view player_folder);

// Writes a new download folder into the engine's settings. `settings_text` is the file's text as
// read_settings_text gives it, `old_folder` the folder it names. Every "key + old folder + quote"
// becomes "key + new folder + quote"; the text, followed by one line end, replaces the file in the
// engine folder `engine_folder` (the settings' "qvodw"); then the engine's terminal program is
// started from that folder. Nothing is written or started while that setting is unset,
// and a folder holding a double quote or a line break is refused (it would break the file). True
// when the file was written.
bool write_save_folder(const std::string& engine_folder, std::string_view settings_text,
                       std::string_view old_folder, std::string_view new_folder,
                       platform::Launcher& launcher,
                       const std::vector<std::string>& terminal_args = {});

// What every start of the terminal is told besides its folder: whether it ends with this program
// ("qvodk" 2: when this program has ended, however it ended) or runs on after it, and the
// service this program uses (its items' metadata and web seed are there). A start that finds a
// terminal running hands both over to it, so the running one follows the program now using it.
std::vector<std::string> terminal_arguments(long long end_engine, const std::string& service_url);

// The engine's player folder the program keeps for the user: "Qvod/" in the program folder (the
// folder the player component has always lived in), so that it is writable even when the
// program is installed for the whole system.
std::string player_folder_of(std::string_view program_folder);

// The settings file the program writes into a player folder that has none: it names the default
// download folder.
std::string default_settings_text();

// Makes the player folder ready before the start-up check runs: the folder itself, the terminal
// program in it (a link to `terminal_program`, see platform::engine_program), its settings file
// when it has none, and the settings' "qvodw" pointing at it when that
// setting names no folder holding a terminal program. A setting that names another working
// engine folder is kept. True when the player folder holds a terminal program afterwards.
bool prepare_player_folder(settings::Store& settings, const std::string& player_folder,
                           const std::string& terminal_program);

}  // namespace pelmora::playback::engine
