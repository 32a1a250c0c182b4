#pragma once

// The browser panes behind the tabs rest while hidden (their pages frozen); what a person must
// see of that is nothing: each tab shows its page again, where it was. The program says which
// panes rest on its standard error when PELMORA_PANE_LOG is set ("pelmora-pane NAME frozen" /
// "woken"); the test can only wait for what the program says.

#include <fstream>
#include <map>
#include <sstream>
#include <string>

// Qt's headers must come before X11's.
#include "window/window_harness.h"
// (X11 after Qt)
#include "window/x_session.h"

namespace pelmora::window_test {

// The panes whose last word in the program's log is "frozen".
inline std::map<std::string, bool> pane_rest_states(const std::string& log_path) {
  std::ifstream log(log_path);
  std::map<std::string, bool> resting;
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    std::string tag, name, state;
    if (!(words >> tag >> name >> state) || tag != "pelmora-pane") continue;
    resting[name] = state == "frozen";
  }
  return resting;
}

inline bool pane_rests(const std::string& log_path, const std::string& name) {
  const auto states = pane_rest_states(log_path);
  const auto found = states.find(name);
  return found != states.end() && found->second;
}

inline int resting_pane_count(const std::string& log_path) {
  int count = 0;
  for (const auto& [name, resting] : pane_rest_states(log_path)) count += resting ? 1 : 0;
  return count;
}

// Whether an area shows a page rather than an empty surface: more than `least` pixels unlike
// the area's bottom-left corner.
inline bool shows_a_page(XSession& x, const Box& area, int least = 60) {
  const Shot shot = x.grab(area);
  if (shot.pixels.empty()) return false;
  const Rgb ground = shot.at(area.x + 2, area.y + area.height - 2);
  int marks = 0;
  for (int y = area.y; y < area.y + area.height; y += 2) {
    for (int at = area.x; at < area.x + area.width; at += 2) {
      if (!shot.at(at, y).near(ground, 40)) ++marks;
    }
  }
  return marks > least;
}

}  // namespace pelmora::window_test
