#pragma once

#include <string_view>

namespace pelmora::platform {

// The room a text takes on one or more lines, in pixels.
struct TextExtent {
  int width = 0;   // the widest line
  int height = 0;  // every line
  bool operator==(const TextExtent&) const = default;
};

// The estimate used where no window system measures: 6 pixels a display column (East Asian wide
// characters two columns) and 14 pixels a line, lines broken at CR LF or LF.
TextExtent estimate_text(std::string_view text);

class Form;
class MenuItem;

// The window toolkit behind the control model: it attaches a peer to a form and every control
// of it, runs timers, pumps events and shows popup menus. The desktop backend does this on
// screen; the headless backend keeps the model only and runs timers from a virtual clock.
class Backend {
 public:
  virtual ~Backend() = default;
  // Creates the peers of the form and its controls and starts its enabled timers.
  virtual void attach(Form& form) = 0;
  // Drops the peers (the form is being destroyed or unloaded).
  virtual void detach(Form& form) = 0;
  // Handles pending window events, then returns (DoEvents).
  virtual void pump_events() = 0;
  // Shows `menu`'s items at the pointer and returns when the menu closes, after the chosen
  // item's on_click has run. May re-enter the program through that handler.
  virtual void popup_menu(Form& form, MenuItem& menu) = 0;
  // The room `text` takes in the font of the window's labels. The desktop backend measures it
  // with the real font; the default is the estimate above.
  virtual TextExtent measure_text(std::string_view text) const { return estimate_text(text); }
};

}  // namespace pelmora::platform
