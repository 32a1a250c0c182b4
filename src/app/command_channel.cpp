#include "app/main_window.h"
#include "util/display_width.h"
#include "util/file_address.h"
#include "util/text_helpers.h"

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
  if (mini_mode == 1) jbi.raise_click();  // leaves compact mode
  bo_but_Click(1);                        // stops and saves the position of what played
  l_com(command);
}

void BA1::begin_item(std::string episode, std::string item) {
  // Whatever was asked for the item before is moot now: a reply still on its way would play
  // an episode over this item or prepare the wrong next one.
  episode_request.drop();
  next_request.drop();
  cur_episode = std::move(episode);
  next_link = "0";
  next_addr = "0";
  next_busy = 0;
  cur_item = std::move(item);
}

void BA1::l_com(std::string command) {
  std::erase(command, '"');
  if (command.ends_with('/')) command.pop_back();
  // The desktop hands a local file over as a "file://" address: it plays and is listed by its
  // path, as one chosen with the open-file button.
  if (auto path = text::local_file_of(command)) command = std::move(*path);
  if (has_player()) {
    QvodC->set_media_address(command);
    QvodC->play();
  }
  if (!Timer1.timer_enabled()) Timer1.set_timer_enabled(true);
  const std::string display_name = text::file_part(command);
  bo_name.set_caption(text::cut_width(display_name, 30));
  resume_done = 0;
  resume_pos = 0;
  begin_item("0", command);
  web_play = 0;
  lists::add_local(list_place(), display_name, command, 0);
  list_kind = 2;
  npc_Click(9);
}

}  // namespace pelmora::app
