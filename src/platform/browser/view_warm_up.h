#pragma once

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
// Its picture buffers are made at the least size then, and at the widget's own size only when it
// shows: a dozen hidden panes would otherwise hold a dozen full-size buffers no one sees.
//
// A widget that is shown, destroyed or already ready by its turn is passed over.
void warm_up_when_idle(QWidget* view);

// How many widgets wait for their turn (for tests).
int views_waiting_to_warm_up();

}  // namespace pelmora::platform::qt
