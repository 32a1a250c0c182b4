#pragma once

#include "platform/control.h"

class QWidget;

// How the window's controls meet assistive technology (a screen reader through AT-SPI): the
// skinned picture boxes and labels are read as the buttons, tabs and bars the control model says
// they are (Control::set_access), by the name the user sees, with the action "Press" that does
// what a click does; each form is a frame named with its title. The browser engine's own helper
// windows, which draw the panes off screen, are left out of the program's tree.
namespace pelmora::platform::qt {

// Installs the accessible factory; call once the application object exists (again is harmless).
void install_accessible_controls();

// Ties `widget` to `control`, so the factory reads the control; forget_control unties it when
// the control goes before its widget.
void mark_control(QWidget* widget, Control& control);
void forget_control(QWidget* widget);
// The control tied to `widget`, or null.
Control* control_of(const QWidget* widget);

// Tells assistive technology what changed on the control: its name (tooltip or caption), a
// tab's selection, a bar's value.
void announce(QWidget* widget, Control& control, Property what);

}  // namespace pelmora::platform::qt
