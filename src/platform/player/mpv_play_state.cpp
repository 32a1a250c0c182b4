#include "platform/player/mpv_play_state.h"

#include "util/link_schemes.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace pelmora::platform::qt {

PlayState derive_play_state(const MpvPlaybackFacts& facts) {
  switch (facts.phase) {
    case MpvLoadPhase::kNothing:
      return PlayState::kReady;
    case MpvLoadPhase::kStopped:
    case MpvLoadPhase::kFailed:
      return PlayState::kStopped;
    case MpvLoadPhase::kLoading:
      return facts.network ? PlayState::kConnecting : PlayState::kPreparing;
    case MpvLoadPhase::kLoaded:
      break;
  }
  if (facts.eof_reached) return PlayState::kReady;
  if (facts.idle_active) return PlayState::kStopped;
  if (facts.pause) return PlayState::kPaused;
  if (facts.paused_for_cache) return PlayState::kBuffering;
  if (facts.seeking && facts.network) return PlayState::kBuffering;
  return PlayState::kPlaying;
}

namespace {

// The scheme of "scheme://rest" in lower case, or empty for a plain path.
std::string scheme_of(std::string_view address) {
  const auto colon = address.find("://");
  if (colon == std::string_view::npos || colon == 0) return {};
  std::string scheme(address.substr(0, colon));
  const bool valid = std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
    return std::isalnum(c) != 0 || c == '+' || c == '-' || c == '.';
  });
  if (!valid) return {};
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return scheme;
}

}  // namespace

bool is_network_address(std::string_view address) {
  const std::string scheme = scheme_of(address);
  return !scheme.empty() && scheme != "file";
}

bool is_local_address(std::string_view address) {
  return !address.empty() && !is_network_address(address);
}

bool is_engine_address(std::string_view address) {
  return links::is_engine_address(address);
}

}  // namespace pelmora::platform::qt
