#include "app/main_window.h"

namespace pelmora::app {

void BA1::wire_playback() {}

void BA1::Timer1_Timer() {}
void BA1::Timer2_Timer() {}
void BA1::Timer3_Timer() {}
void BA1::bo_but_Click(int) {}

}  // namespace pelmora::app
