// Files and links dropped onto the window (the player, any pane) play as if chosen with the
// open-file button.
#include "app/main_window.h"
#include "platform/files.h"
#include "playback/dropped_item.h"

namespace pelmora::app {

namespace {

std::optional<playback::drops::Dropped> playable(const std::vector<std::string>& items) {
  return playback::drops::first_playable(
      items, [](const std::string& path) { return platform::files::is_regular_file(path); });
}

}  // namespace

bool BA1::playable_drop(const std::vector<std::string>& items) const {
  return playable(items).has_value();
}

void BA1::drop(const std::vector<std::string>& items) {
  const std::optional<playback::drops::Dropped> item = playable(items);
  if (!item) return;
  play_chosen_file(item->text);
}

}  // namespace pelmora::app
