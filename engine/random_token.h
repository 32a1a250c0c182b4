#pragma once

#include <string>

namespace pelmora::engine {

// 128 random bits from the system's source, as 32 lowercase hex digits.
std::string random_token();

}  // namespace pelmora::engine
