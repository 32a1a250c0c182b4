#include "app/main_window.h"

namespace pelmora::app {

void BA1::wire_tray() {}
void BA1::Timer5_Timer() {}
void BA1::Timer8_Timer() {}

}  // namespace pelmora::app
