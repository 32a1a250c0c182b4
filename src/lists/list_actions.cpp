#include "app/main_window.h"

namespace pelmora::app {

void BA1::wire_list_actions() {}
void BA1::qk_Click() {}
void BA1::qk_xl() {}
void BA1::qk_xw() {}
void BA1::CCC() {}
void BA1::ddd() {}
void BA1::eee() {}
bool BA1::M_M3_oncontextmenu(const std::string&) { return false; }
bool BA1::M_M5_oncontextmenu(const std::string&) { return false; }

}  // namespace pelmora::app
