#include "engine_client/engine_status.h"

#include <algorithm>
#include <charconv>

#include "engine_words.h"
#include "qvod_address.h"

namespace pelmora::platform::qt {

namespace {

// A whole decimal number without sign; nothing when the text is not one.
std::optional<std::uint64_t> decimal(std::string_view text) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int bounded(std::string_view text, int low, int high) {
  const std::optional<std::uint64_t> value = decimal(text);
  if (!value) return low;
  return static_cast<int>(std::clamp<std::uint64_t>(*value, static_cast<std::uint64_t>(low),
                                                    static_cast<std::uint64_t>(high)));
}

EngineStatus::State state_named(std::string_view name) {
  using State = EngineStatus::State;
  using engine::words::ItemState;
  const std::optional<ItemState> state = engine::words::parse_state(name);
  if (!state) return State::kUnknown;
  switch (*state) {
    case ItemState::connecting:
      return State::kConnecting;
    case ItemState::metadata:
      return State::kMetadata;
    case ItemState::buffering:
      return State::kBuffering;
    case ItemState::downloading:
      return State::kDownloading;
    case ItemState::finished:
      return State::kFinished;
    case ItemState::error:
      return State::kError;
  }
  return State::kUnknown;
}

}  // namespace

std::optional<EngineAddress> parse_engine_address(std::string_view address) {
  return engine::parse_qvod_address(address);
}

EngineStatus parse_engine_status(std::string_view body) {
  EngineStatus status;
  while (!body.empty()) {
    const auto end = std::min(body.find('\n'), body.size());
    std::string_view line = body.substr(0, end);
    body.remove_prefix(std::min(end + 1, body.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "state") {
      status.state = state_named(value);
    } else if (key == "permille") {
      status.permille = bounded(value, 0, 1000);
    } else if (key == "rate") {
      status.rate = bounded(value, 0, 2000000000);
    } else if (key == "error") {
      status.error = std::string(value);
    }
  }
  if (!status.error.empty()) status.state = EngineStatus::State::kError;
  return status;
}

}  // namespace pelmora::platform::qt
