#pragma once

#include <string_view>

// Small files the program carries inside itself.
namespace pelmora::resources {

// The 11 x 11 delete icon "i.gif" that the list pages show beside every row.
std::string_view page_icon_gif();

}  // namespace pelmora::resources
