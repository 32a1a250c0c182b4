#pragma once

#include <optional>
#include <string_view>

#include "platform/download_engine.h"
#include "qvod_address.h"

namespace pelmora::platform::qt {

// One "qvod://SIZE|HASH|NAME|" address taken apart by the engine's own grammar
// (engine/protocol/qvod_address.h): SIZE decimal and above 0, HASH 40 hex digits (kept in lower
// case), NAME a name the file can have in the download folder. Nothing for any other text.
using EngineAddress = engine::QvodAddress;
std::optional<EngineAddress> parse_engine_address(std::string_view address);

// The terminal's answer to a status question: lines "state=S", "permille=P", "rate=R",
// "error=TEXT". Unknown lines and unreadable numbers are ignored; numbers are kept in range.
EngineStatus parse_engine_status(std::string_view body);

}  // namespace pelmora::platform::qt
