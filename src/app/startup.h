#pragma once

#include <string>

#include "lists/list_files.h"

namespace pelmora::platform {
class Clock;
class Dialogs;
class Launcher;
class NetworkAdapters;
class PlayerEngine;
}  // namespace pelmora::platform

namespace pelmora::app {

struct Configuration;

// The main window as start-up sees it: something to load (its initialisation runs then), to
// show, and to show the list pages in.
class MainWindowHost : public lists::ListPageView {
 public:
  virtual bool loaded() const = 0;
  // Loads the window, which runs its initialisation (a second start hands its command line over
  // and ends there).
  virtual void load() = 0;
  virtual void show() = 0;
};

// What start-up needs from outside.
struct StartupContext {
  std::string program_folder;
  const Configuration& config;
  platform::PlayerEngine& player_engine;
  platform::Dialogs& dialogs;
  platform::Launcher& launcher;
  platform::NetworkAdapters& adapters;
  const platform::Clock& clock;
  MainWindowHost& main_window;
};

enum class StartupResult {
  kMainWindowShown,
  // No player engine and none beside the program: the user was asked about downloading it, and
  // the program ends without a window.
  kEndedWithoutPlayer,
};

// The entry procedure: checks that the player can be created, brings "config.dll" into a
// usable state (first-run defaults, repairs), makes sure that the two list files and their
// pages exist, and loads and shows the main window. A step that fails (a file that cannot be
// written) never stops the sequence.
StartupResult Main(const StartupContext& context);

// The first-run defaults and the repairs of every start, applied to the settings file of the
// program folder. Part of Main; on its own for the tests.
void prepare_settings(const std::string& program_folder, platform::NetworkAdapters& adapters,
                      const platform::Clock& clock);

}  // namespace pelmora::app
