#include "platform/player/engine_play_state.h"

#include "engine_words.h"

namespace pelmora::platform::qt {

PlayFailure engine_failure(std::string_view error) {
  if (error == engine::words::kNoSource) return PlayFailure::kNoSource;
  if (error == engine::words::kUnwritableFolder) return PlayFailure::kUnwritableFolder;
  if (error == engine::words::kFolderFull) return PlayFailure::kFolderFull;
  return PlayFailure::kUnreachable;
}

PlayState engine_play_state(const MpvPlaybackFacts& facts, const EngineStatus& status) {
  using State = EngineStatus::State;
  if (status.state == State::kError) return PlayState::kStopped;
  const PlayState player = derive_play_state(facts);
  const bool waiting = facts.phase == MpvLoadPhase::kLoading ||
                       (facts.phase == MpvLoadPhase::kLoaded && player == PlayState::kBuffering);
  if (!waiting) return player;
  switch (status.state) {
    case State::kMetadata:
      return PlayState::kFetchingSeed;
    case State::kUnknown:
    case State::kConnecting:
      return PlayState::kConnecting;
    default:
      return PlayState::kBuffering;
  }
}

}  // namespace pelmora::platform::qt
