#pragma once

class QWidget;

namespace pelmora::platform {
class Form;
}

namespace pelmora::platform::qt {

// Makes the form's window take drops anywhere on it, its browser panes included: what the
// desktop drags over it is offered to the form's accepts_drop, and a drop goes to its on_drop.
// A drag the form does not take is refused over the whole window (a pane would otherwise open a
// dropped file as a page). A text box is left alone: it takes dropped text as it always does.
// The filter lives as long as `window`.
void accept_drops(QWidget& window, Form& form);

}  // namespace pelmora::platform::qt
