#pragma once

// What every test of the program in a real window needs: the demo clips, a virtual screen when
// there is none, one application object, and waiting with the event loop running.

#include <stdlib.h>

#include <QtCore/QElapsedTimer>
#include <QtWidgets/QApplication>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "desktop_program.h"
#include "support/virtual_screen.h"

namespace pelmora::testing::window {

// The demo clips, made once per build tree with the project's script; empty when they cannot be
// made.
inline std::string demo_media() {
  const std::string folder = std::string(PELMORA_BINARY_DIR) + "/demo-media";
  if (!std::filesystem::exists(folder + "/p101-s1-e02.mp4")) {
    const std::string command = "bash '" + std::string(PELMORA_SOURCE_DIR) +
                                "/scripts/make-demo-media.sh' '" + folder + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return {};
  }
  return folder;
}

// A virtual screen of the tests' own when none is there, ended when the test program ends.
inline bool ensure_display() {
  if (std::getenv("DISPLAY") != nullptr) return true;
  static const VirtualScreen screen("1600x1000x24");
  if (screen.display().empty()) return false;
  ::setenv("DISPLAY", screen.display().c_str(), 1);
  return true;
}

// The one application object. Made once and never destroyed: the browser engine does not shut
// down cleanly from the program's exit handlers, and the process ends right after the tests.
inline QApplication& application() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu", 1);
  // No session bus on the virtual screen: Qt would start one and may wait for it.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  register_program_links();
  // As the program's own start sets it: the player's native picture window leaves its siblings
  // drawn by the window.
  QApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  static int argc = 1;
  static char name[] = "window_tests";
  static char* argv[] = {name, nullptr};
  auto* app = new QApplication(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  return *app;
}

// Runs the event loop until `done` holds or `ms` pass.
template <typename Done>
bool wait_for(Done done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return done();
}

}  // namespace pelmora::testing::window
