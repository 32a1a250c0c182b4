#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/startup.h"

class QWidget;

namespace pelmora::platform {
class Dialogs;
class InstanceChannel;
class Power;
namespace qt {
class QtBackend;
}  // namespace qt
}  // namespace pelmora::platform

namespace pelmora {

// Hands the program's link schemes to the browser panes: those they intercept and those whose
// links lead to an episode playing; `play_ahead` runs when the pointer rests on such a link.
// Before the QApplication is made; the first call counts.
void register_program_links(std::function<void()> play_ahead = {});

// The desktop program put together: the real Linux services, the Qt backend, the browser
// profile, the player engine, the tray and the instance channel around the main window. It is
// the one place that knows every backend and the program's own rooms at once. The
// `pelmora` executable runs it; the window tests run the same composition in their own process,
// replacing only what a person answers (dialogs) and the system's shutdown.
class DesktopProgram {
 public:
  struct Options {
    std::string program_folder;
    std::string command_line;
    // Stand-ins for the tests; null for the real ones.
    platform::Dialogs* dialogs = nullptr;
    platform::Power* power = nullptr;
    // The instance channel the program has claimed already (the `pelmora` executable decides
    // the first instance before anything else); null for a channel of its own.
    platform::InstanceChannel* channel = nullptr;
  };

  // Needs the QApplication (made after register_link_schemes()).
  explicit DesktopProgram(Options options);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  // The start-up sequence; true when the main window is up (false: no player engine and the
  // user was asked, or a later start that handed its command line to the running one).
  bool start();
  // True once the main window has been unloaded and no window of the program is left (after
  // `end_for_system`: once the main window has been unloaded).
  bool finished() const;

  // Ends the program as its own exit routine does, for the system (a termination signal, a
  // shutdown announced by logind): the item stops and its position is written, the lists and
  // pages rewritten, the engine's programs ended or kept as "qvodk" says; no recommendation
  // window waits. A question open at that moment is answered as its Escape would, first.
  void end_for_system();
  // The X server has gone: what the exit routine does that needs no display.
  void end_without_display();
  // The program is about to be ended at once (its orderly end took too long, or it was asked
  // to end twice): the engine's programs end now when "qvodk" says they end with it. Runs on
  // any thread.
  void end_engine_at_once();

  app::BA1& main_window();
  platform::qt::QtBackend& backend();
  const app::Configuration& config() const;
  // The main window's top-level widget (null before start).
  QWidget* main_widget();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace pelmora
