#pragma once

// What the window system under the program does for its windows, asked where the answer decides
// who moves and sizes a window: the window manager, or the program itself.
namespace pelmora::platform::qt::window_system {

// A window manager maximises, shows full screen and places windows. False only on X without a
// window manager (nothing announces itself on the root window), where the program sizes its
// windows itself. Asked anew each time: a window manager may start after the program.
bool manages_windows();

// The window system can keep a window above the others and place it where the program asks.
// Wayland's shell has neither: there a window stays where the compositor put it.
bool keeps_windows_on_top();

}  // namespace pelmora::platform::qt::window_system
