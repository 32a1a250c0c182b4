#include "app/main_window.h"

namespace pelmora::app {

void BA1::fetch_next() {}
void BA1::step_episode(int) {}
void BA1::Timer4_Timer() {}

}  // namespace pelmora::app
