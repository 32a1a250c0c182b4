// The state the player shows while the download engine works, and its failure codes from the
// engine's error words.
#include "platform/player/engine_play_state.h"

#include <gtest/gtest.h>

namespace pelmora::platform::qt {
namespace {

using State = EngineStatus::State;

TEST(EngineStateTest, SaysWhyThePictureWaitsAndOtherwiseFollowsThePlayer) {
  auto facts = [](MpvLoadPhase phase) {
    MpvPlaybackFacts f;
    f.phase = phase;
    f.network = true;
    f.idle_active = phase != MpvLoadPhase::kLoaded;
    return f;
  };
  MpvPlaybackFacts waiting = facts(MpvLoadPhase::kLoaded);
  waiting.paused_for_cache = true;
  MpvPlaybackFacts paused = facts(MpvLoadPhase::kLoaded);
  paused.pause = true;
  const EngineStatus error{State::kError, 300, 0, "no-source"};
  struct Row {
    MpvPlaybackFacts facts;
    State engine;
    PlayState expected;
    const char* what;
  };
  const Row rows[] = {
      {facts(MpvLoadPhase::kLoading), State::kUnknown, PlayState::kConnecting, "asking"},
      {facts(MpvLoadPhase::kLoading), State::kConnecting, PlayState::kConnecting, "no source"},
      {facts(MpvLoadPhase::kLoading), State::kMetadata, PlayState::kFetchingSeed, "torrent"},
      {facts(MpvLoadPhase::kLoading), State::kDownloading, PlayState::kBuffering, "opening"},
      {waiting, State::kBuffering, PlayState::kBuffering, "read waits"},
      {waiting, State::kConnecting, PlayState::kConnecting, "sources lost"},
      {facts(MpvLoadPhase::kLoaded), State::kBuffering, PlayState::kPlaying, "plays ahead"},
      {paused, State::kConnecting, PlayState::kPaused, "paused"},
      {facts(MpvLoadPhase::kFailed), State::kDownloading, PlayState::kStopped, "stream broke"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(engine_play_state(row.facts, EngineStatus{row.engine, 0, 0, ""}), row.expected)
        << row.what;
  }
  EXPECT_EQ(engine_play_state(facts(MpvLoadPhase::kLoading), error), PlayState::kStopped);
  EXPECT_EQ(engine_failure("no-source"), PlayFailure::kNoSource);
  EXPECT_EQ(engine_failure("unwritable-folder"), PlayFailure::kUnwritableFolder);
  EXPECT_EQ(engine_failure("folder-full"), PlayFailure::kFolderFull);
  EXPECT_EQ(engine_failure("no-engine"), PlayFailure::kUnreachable);
  EXPECT_EQ(engine_play_state(facts(MpvLoadPhase::kLoaded), error), PlayState::kStopped);
}

}  // namespace
}  // namespace pelmora::platform::qt
