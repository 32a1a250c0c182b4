#pragma once

#include "platform/control.h"

// What the keyboard does to a control that has the focus, by its role: the same for every
// backend, so the headless tests see what a person at the keyboard gets.
namespace pelmora::platform::access {

// Key codes a focused control takes for itself; every other key goes on to the window's own
// keys (Space plays and pauses while no control has the focus).
bool takes_key(const Control& control, int key_code);

// What a click does: a button or a tab is pressed. Nothing happens to a disabled control, a
// slider or a control without a role. True when the control was pressed.
bool press(Control& control);

// Acts on a key the control takes: Space and Enter press a button or a tab; the arrows move a
// slider by one step, or select the neighbouring tab of the strip (in the form's tab order,
// passing over hidden tabs) and move the focus to it. True when the key was used.
bool handle_key(Control& control, int key_code);

}  // namespace pelmora::platform::access
