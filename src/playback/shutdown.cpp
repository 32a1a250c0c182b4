// Scheduled shutdown: arming and disarming it from the shutdown menu, and the shutdown itself.
// The armed state is the window's; transport button 6's tooltip and cell show it.
#include "app/main_window.h"

#include "platform/power.h"
#include "playback/button_cells.h"

namespace pelmora::app {

namespace {

constexpr int kShutdownButton = 6;

void draw_shutdown_cell(BA1& window, int strip) {
  playback::cells::paint(window.bo_but[kShutdownButton], window.ppt, {strip, 0});
}

}  // namespace

void BA1::kaiqi_Click() {
  chrome.shutdown_armed = true;
  bo_but[kShutdownButton].set_tool_tip("已开启自动关机");
  draw_shutdown_cell(*this, playback::cells::kOverStrip);
}

void BA1::quxiao_Click() {
  chrome.shutdown_armed = false;
  bo_but[kShutdownButton].set_tool_tip("计划关机");
  draw_shutdown_cell(*this, playback::cells::kAwayStrip);
}

bool BA1::shutdown_armed() const {
  return chrome.shutdown_armed;
}

void BA1::shut_down(bool) {
  // The system's power-off request always ends the session's programs; there is no gentler
  // form to choose, so the flag changes nothing here. A failed request is not reported.
  services().power.shutdown();
}

}  // namespace pelmora::app
