#include "app/main_window.h"

namespace pelmora::app {

void BA1::wire_web() {}

void BA1::Web1_BeforeNavigate2(const std::string&, bool&) {}
void BA1::Web2_BeforeNavigate2(const std::string&, bool&) {}
void BA1::Web3_BeforeNavigate2(const std::string&, bool&) {}
void BA1::Web4_BeforeNavigate2(const std::string&, bool&) {}
void BA1::Web5_BeforeNavigate2(const std::string&, bool&) {}

}  // namespace pelmora::app
