#include "app/main_window.h"

namespace pelmora::app {

void BA1::wire_shell() {}

void BA1::npc_Click(int) {}

}  // namespace pelmora::app
