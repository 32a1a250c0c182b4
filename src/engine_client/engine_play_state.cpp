#include "engine_client/engine_play_state.h"

#include "engine_words.h"

namespace pelmora::platform::qt {

PlayFailure engine_failure(std::string_view error) {
  if (error == engine::words::kNoSource) return PlayFailure::kNoSource;
  if (error == engine::words::kUnwritableFolder) return PlayFailure::kUnwritableFolder;
  if (error == engine::words::kFolderFull) return PlayFailure::kFolderFull;
  return PlayFailure::kUnreachable;
}

PlayState engine_play_state(PlayState player, const EngineStatus& status) {
  using State = EngineStatus::State;
  if (status.state == State::kError) return PlayState::kStopped;
  const bool waiting = player == PlayState::kPreparing || player == PlayState::kConnecting ||
                       player == PlayState::kBuffering;
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
