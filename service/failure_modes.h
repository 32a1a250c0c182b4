#pragma once

#include <optional>
#include <string_view>

#include "query.h"

namespace pelmora::service {

// How the resource request "h.asp" misbehaves, so that tests and demos can drive every failure
// path of the client.
enum class ReplyFailure {
  zero,          // the body "0": nothing prepared yet
  one,           // the body "1": no such episode
  empty,         // an empty body with status 200
  garbage,       // text that is neither "0", "1" nor a play record
  server_error,  // status 500
  hang,          // no answer until the hang time has passed or the service stops
};

// A failure for one episode, or for every episode when `episode` is empty.
struct FailureRule {
  ReplyFailure mode = ReplyFailure::one;
  std::optional<EpisodeRef> episode;
};

// The text form of the --fail option: MODE or MODE:ID-V-V1, MODE one of "0", "1", "empty",
// "garbage", "500", "hang".
std::optional<FailureRule> parse_failure_rule(std::string_view text);
std::string_view failure_name(ReplyFailure mode);

// The body the garbage mode answers with: no "$", and neither "0" nor "1".
inline constexpr std::string_view kGarbageReply = "<html>Service temporarily unavailable</html>";

}  // namespace pelmora::service
