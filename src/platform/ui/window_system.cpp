#include "platform/ui/window_system.h"

#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>
#include <QtGui/QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace pelmora::platform::qt::window_system {

namespace {

bool on_x() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t found = reply->atom;
  std::free(reply);
  return found;
}

}  // namespace

bool manages_windows() {
  if (!on_x()) return true;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
  if (connection == nullptr) return true;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
  if (screen == nullptr || check == XCB_ATOM_NONE) return false;
  // An EWMH window manager names its check window on the root window.
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, screen->root, check, XCB_ATOM_WINDOW, 0, 1),
      nullptr);
  if (reply == nullptr) return false;
  const bool managed = xcb_get_property_value_length(reply) >= 4;
  std::free(reply);
  return managed;
}

bool keeps_windows_on_top() {
  return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace pelmora::platform::qt::window_system
