// The player engine's own programs: the start-up check that ends a running player, learns the
// engine's folder and starts its terminal program, and the exit routine of the whole program.
#include "app/main_window.h"

#include "app/settings_store.h"
#include "engine_client/engine_files.h"
#include "platform/http_fetch.h"
#include "platform/launcher.h"
#include "playback/session.h"

namespace pelmora::app {

namespace engine = playback::engine;

void BA1::Timer3_Timer() {
  Timer3.set_timer_enabled(false);
  platform::ProcessTable& processes = services().processes;
  std::string terminal_path;
  // "qvodqi" 1 leaves the engine's programs alone.
  if (!settings_store.get().leaves_engine_at_start()) {
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

namespace {

// The engine's programs end with the program when "qvodk" is 2.
void end_engine_programs(platform::ProcessTable& processes, long long end_engine) {
  if (end_engine != 2) return;
  engine::end_process(processes, engine::kPlayerProgram);
  engine::end_process(processes, engine::kTerminalProgram);
  engine::sweep_tray();
}

}  // namespace

void BA1::ttt_v() {
  keep_remembered();
  tray_remove();
  const long long end_engine = settings_store.get().end_engine;
  stop();
  end_engine_programs(services().processes, end_engine);
  if (services().http.busy()) services().http.cancel_all();
  for (platform::Form* form : exit_forms) {
    if (form != nullptr) form->unload();
  }
  unload();
  if (exit_recommendation_hook) exit_recommendation_hook(exit_recommendation);
}

void BA1::end_without_display() {
  if (!loaded()) return;
  const long long end_engine = settings_store.get().end_engine;
  // As the stop button, without drawing it: the session saves where the item stood.
  if (has_player()) session().stop();
  end_engine_programs(services().processes, end_engine);
  if (services().http.busy()) services().http.cancel_all();
}

}  // namespace pelmora::app
