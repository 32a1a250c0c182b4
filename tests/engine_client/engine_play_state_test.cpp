// The state the player shows while the download engine works, and its failure codes from the
// engine's error words.
#include "engine_client/engine_play_state.h"

#include <gtest/gtest.h>

namespace pelmora::platform::qt {
namespace {

using State = EngineStatus::State;

TEST(EngineStateTest, SaysWhyThePictureWaitsAndOtherwiseFollowsThePlayer) {
  struct Row {
    PlayState player;
    State engine;
    PlayState expected;
    const char* what;
  };
  const Row rows[] = {
      {PlayState::kConnecting, State::kUnknown, PlayState::kConnecting, "asking"},
      {PlayState::kConnecting, State::kConnecting, PlayState::kConnecting, "no source"},
      {PlayState::kConnecting, State::kMetadata, PlayState::kFetchingSeed, "torrent"},
      {PlayState::kPreparing, State::kDownloading, PlayState::kBuffering, "opening"},
      {PlayState::kBuffering, State::kBuffering, PlayState::kBuffering, "read waits"},
      {PlayState::kBuffering, State::kConnecting, PlayState::kConnecting, "sources lost"},
      {PlayState::kPlaying, State::kBuffering, PlayState::kPlaying, "plays ahead"},
      {PlayState::kPaused, State::kConnecting, PlayState::kPaused, "paused"},
      {PlayState::kStopped, State::kDownloading, PlayState::kStopped, "stream broke"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(engine_play_state(row.player, EngineStatus{row.engine, 0, 0, ""}), row.expected)
        << row.what;
  }
  const EngineStatus error{State::kError, 300, 0, "no-source"};
  EXPECT_EQ(engine_play_state(PlayState::kConnecting, error), PlayState::kStopped);
  EXPECT_EQ(engine_play_state(PlayState::kPlaying, error), PlayState::kStopped);
  EXPECT_EQ(engine_failure("no-source"), PlayFailure::kNoSource);
  EXPECT_EQ(engine_failure("unwritable-folder"), PlayFailure::kUnwritableFolder);
  EXPECT_EQ(engine_failure("folder-full"), PlayFailure::kFolderFull);
  EXPECT_EQ(engine_failure("no-engine"), PlayFailure::kUnreachable);
}

}  // namespace
}  // namespace pelmora::platform::qt
