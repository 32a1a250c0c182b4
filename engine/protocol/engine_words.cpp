#include "engine_words.h"

#include <array>
#include <utility>

namespace pelmora::engine::words {
namespace {

constexpr std::array<std::pair<ItemState, std::string_view>, 6> kStates{{
    {ItemState::connecting, "connecting"},
    {ItemState::metadata, "metadata"},
    {ItemState::buffering, "buffering"},
    {ItemState::downloading, "downloading"},
    {ItemState::finished, "finished"},
    {ItemState::error, "error"},
}};

}  // namespace

std::string_view state_word(ItemState state) {
  for (const auto& [value, word] : kStates) {
    if (value == state) return word;
  }
  return {};
}

std::optional<ItemState> parse_state(std::string_view word) {
  for (const auto& [value, name] : kStates) {
    if (name == word) return value;
  }
  return std::nullopt;
}

}  // namespace pelmora::engine::words
