#include "app/main_window.h"

namespace pelmora::app {

void BA1::Form_LinkExecute(const std::string& command) {
  // The housekeeping check of the player's programs runs once more.
  Timer3.set_timer_enabled(true);
  // Hiding and showing again brings the window to the front.
  hide();
  show();
  if (window_state() == platform::WindowState::kMinimized) {
    set_window_state(platform::WindowState::kNormal);
  }
  if (command.empty()) return;
  // What cannot be played stops nothing.
  if (!command_item(command)) {
    refuse_item(command);
    return;
  }
  if (chrome.mini_mode == 1) jbi_Click();  // leaves compact mode
  stop();                                  // stops and saves the position of what played
  l_com(command);
}

}  // namespace pelmora::app
