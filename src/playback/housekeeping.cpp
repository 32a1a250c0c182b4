// The player engine's own programs: the start-up check that ends a running player, learns the
// engine's folder and starts its terminal program, and the exit routine of the whole program.
#include "app/main_window.h"

#include "app/settings_store.h"
#include "platform/http_fetch.h"
#include "platform/launcher.h"
#include "playback/engine_files.h"

namespace pelmora::app {

namespace engine = playback::engine;

void BA1::Timer3_Timer() {
  Timer3.set_timer_enabled(false);
  platform::ProcessTable& processes = services().processes;
  std::string terminal_path;
  // "qvodqi" 1 leaves the engine's programs alone.
  if (settings_store.get().leave_engine != 1) {
    const std::string player_path = engine::terminate_all(processes, engine::kPlayerProgram);
    if (!player_path.empty()) player_dir = engine::remove_all(player_path, engine::kPlayerProgram);
    terminal_path = engine::running_path(processes, engine::kTerminalProgram);
    engine::sweep_tray();
    if (terminal_path.empty()) {
      // No player ran to say where the engine lives: its folder as saved (the program prepares
      // one for the user), as the other starts of the terminal do.
      read_player_dir();
      start_terminal();
    }
  }
  if (player_dir.empty()) player_dir = engine::remove_all(terminal_path, engine::kTerminalProgram);
  if (player_dir.empty()) return;
  settings_store.write_option(settings::keys::kPlayerFolder, player_dir);
}

void BA1::ttt_v() {
  keep_remembered();
  tray_remove();
  const long long end_engine = settings_store.get().end_engine;
  bo_but_Click(1);
  if (end_engine == 2) {
    engine::end_process(services().processes, engine::kPlayerProgram);
    engine::end_process(services().processes, engine::kTerminalProgram);
    engine::sweep_tray();
  }
  if (services().http.busy()) services().http.cancel_all();
  for (platform::Form* form : exit_forms) {
    if (form != nullptr) form->unload();
  }
  unload();
  if (exit_recommendation_hook) exit_recommendation_hook(exit_recommendation);
}

}  // namespace pelmora::app
