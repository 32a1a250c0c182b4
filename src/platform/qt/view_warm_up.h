#pragma once

#include <functional>

class QWidget;

namespace pelmora::platform::qt {

// Makes the drawing surfaces of a hidden widget ready before it is first shown.
//
// A browser pane draws through a widget of its own with its own OpenGL context, which Qt makes
// when the widget is first shown and sized. With a dozen panes on tabs that are hidden at start,
// that work (tens of milliseconds each, more on a software renderer) would otherwise all fall on
// the first click that opens a tab, in one turn of the event loop. Handed over here, each
// widget's surfaces are made on a turn of its own while the program is idle (one widget per
// turn, a few turns apart), so input never waits behind more than one of them.
//
// A widget that is shown, destroyed or already ready by its turn is passed over.
void warm_up_when_idle(QWidget* view);

// Runs `task` while the program is idle, on a turn of its own once every widget handed over has
// had its turn: work that the first paint and the panes' surfaces come before.
void after_warm_up(std::function<void()> task);

// How many widgets wait for their turn (for tests).
int views_waiting_to_warm_up();

}  // namespace pelmora::platform::qt
