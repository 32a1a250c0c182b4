#pragma once

#include <string>
#include <string_view>

#include "platform/text_columns.h"

namespace pelmora::text {

// How many display columns a code point and a text take: counted at the ground, where the
// control model's text estimate counts them too.
using platform::code_point_width;
using platform::display_width;

// Cuts a title to `width` display columns, without any mark. A text whose UTF-16 length is at
// most half the width is returned whole. A surrogate pair is never split.
std::string cut_width(std::string_view text, int width);

}  // namespace pelmora::text
