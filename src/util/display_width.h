#pragma once

#include <string>
#include <string_view>

#include "util/text_columns.h"

namespace pelmora::text {

// Cuts a title to `width` display columns, without any mark. A text whose UTF-16 length is at
// most half the width is returned whole. A surrogate pair is never split.
std::string cut_width(std::string_view text, int width);

}  // namespace pelmora::text
