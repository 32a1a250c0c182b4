#include "failure_modes.h"

#include <array>
#include <utility>

namespace pelmora::service {
namespace {

constexpr std::array<std::pair<ReplyFailure, std::string_view>, 6> kNames = {{
    {ReplyFailure::zero, "0"},
    {ReplyFailure::one, "1"},
    {ReplyFailure::empty, "empty"},
    {ReplyFailure::garbage, "garbage"},
    {ReplyFailure::server_error, "500"},
    {ReplyFailure::hang, "hang"},
}};

}  // namespace

std::string_view failure_name(ReplyFailure mode) {
  for (const auto& [m, name] : kNames) {
    if (m == mode) return name;
  }
  return "?";
}

std::optional<FailureRule> parse_failure_rule(std::string_view text) {
  const size_t colon = text.find(':');
  const std::string_view mode_text = text.substr(0, colon);
  FailureRule rule;
  bool known = false;
  for (const auto& [m, name] : kNames) {
    if (name == mode_text) rule.mode = m, known = true;
  }
  if (!known) return std::nullopt;
  if (colon != std::string_view::npos) {
    rule.episode = parse_episode_ref(text.substr(colon + 1));
    if (!rule.episode) return std::nullopt;
  }
  return rule;
}

}  // namespace pelmora::service
