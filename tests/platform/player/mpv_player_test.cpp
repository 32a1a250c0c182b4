#include "platform/player/mpv_player.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>
#include <QtGui/QImage>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include "app/configuration.h"
#include "app/main_window.h"
#include "app/settings_store.h"
#include "app/startup.h"
#include "engine_client/engine_stream_player.h"
#include "lists/list_files.h"
#include "platform/curl/curl_fetch.h"
#include "platform/headless/headless_platform.h"
#include "platform/player/mpv_engine.h"
#include "platform/player/mpv_library.h"
#include "platform/player/mpv_video_widget.h"
#include "playback/session.h"
#include "support/loopback_server.h"
#include "support/media_clip.h"
#include "support/temp_folder.h"

// The widget application's D-Bus connection (made by Qt's desktop integration) keeps a buffer
// that libdbus never frees at exit; only that library is named.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

namespace pelmora::platform::qt {
namespace {

using pelmora::testing::LoopbackServer;
using pelmora::testing::TempFolder;

// ---- The state code, held against its table ----

TEST(MpvPlayStateTest, FollowsTheTableFirstMatchWins) {
  using P = MpvLoadPhase;
  struct Row {
    MpvPlaybackFacts facts;
    PlayState expected;
    const char* what;
  };
  auto facts = [](P phase, bool network = false) {
    MpvPlaybackFacts f;
    f.phase = phase;
    f.network = network;
    f.idle_active = phase != P::kLoaded;
    return f;
  };
  auto with = [](MpvPlaybackFacts f, bool MpvPlaybackFacts::*field) {
    f.*field = true;
    return f;
  };
  const MpvPlaybackFacts local = facts(P::kLoaded);
  const MpvPlaybackFacts remote = facts(P::kLoaded, true);
  const Row rows[] = {
      {facts(P::kNothing), PlayState::kReady, "nothing started"},
      {facts(P::kStopped), PlayState::kStopped, "stopped"},
      {facts(P::kFailed, true), PlayState::kStopped, "failed to open"},
      {facts(P::kLoading), PlayState::kPreparing, "loading a file"},
      {facts(P::kLoading, true), PlayState::kConnecting, "loading an address"},
      {with(local, &MpvPlaybackFacts::idle_active), PlayState::kStopped, "went idle"},
      {with(with(local, &MpvPlaybackFacts::idle_active), &MpvPlaybackFacts::eof_reached),
       PlayState::kReady, "closed at its end"},
      {local, PlayState::kPlaying, "playing"},
      {with(with(local, &MpvPlaybackFacts::pause), &MpvPlaybackFacts::eof_reached),
       PlayState::kReady, "at the end, paused there"},
      {with(local, &MpvPlaybackFacts::pause), PlayState::kPaused, "paused"},
      {with(with(local, &MpvPlaybackFacts::pause), &MpvPlaybackFacts::paused_for_cache),
       PlayState::kPaused, "paused by the user while the cache fills"},
      {with(remote, &MpvPlaybackFacts::paused_for_cache), PlayState::kBuffering, "cache"},
      {with(remote, &MpvPlaybackFacts::seeking), PlayState::kBuffering, "network seek"},
      {with(local, &MpvPlaybackFacts::seeking), PlayState::kPlaying, "local seek"},
      {with(with(local, &MpvPlaybackFacts::seeking), &MpvPlaybackFacts::pause), PlayState::kPaused,
       "seeking while paused"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(derive_play_state(row.facts), row.expected) << row.what;
  }
}

TEST(MpvPlayStateTest, SortsAddressesIntoLocalNetworkAndEngine) {
  EXPECT_TRUE(is_local_address("/home/a/film.mkv"));
  EXPECT_TRUE(is_local_address("file:///home/a/film.mkv"));
  EXPECT_TRUE(is_local_address("/home/a/odd://name.mkv"));  // not a scheme: has a slash
  EXPECT_FALSE(is_local_address(""));
  EXPECT_TRUE(is_network_address("HTTP://127.0.0.1/x.mkv"));
  EXPECT_TRUE(is_network_address("qvod://12|AB|name.rmvb|"));
  EXPECT_TRUE(is_engine_address("QVOD://12|AB|name.rmvb|"));
  EXPECT_FALSE(is_engine_address("http://127.0.0.1/qvod://"));
}

// ---- A real player ----

// A virtual screen of our own when there is no display, so that GL can be tried; killed when
// the test program ends.
class VirtualScreen {
 public:
  VirtualScreen() {
    if (std::getenv("DISPLAY") != nullptr) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    // Forked rather than spawned so that the screen dies with this program even if it crashes.
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      dup2(quiet, 2);
      close(fds[0]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      pid_ = 0;
      close(fds[0]);
      return;
    }
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 5000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return;
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }
  ~VirtualScreen() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = 0;
};

// The application of this test program: a QApplication when this file makes it first.
QCoreApplication& application() {
  if (QCoreApplication::instance() == nullptr) {
    static VirtualScreen screen;
    if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "platform_player_tests";
    static char* argv[] = {name, nullptr};
    // As in the program (the browser panes ask for it): one GL context shared by all, which
    // keeps the GL driver loaded after mpv's own output lets its context go. Unloaded, the
    // driver's leaks at exit could not even be named.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Never destroyed: the browser engine linked into this program tears down GL state in the
    // application's destructor, which crashes once other statics are gone at exit.
    static auto* app = new QApplication(argc, argv);
    (void)app;
  }
  return *QCoreApplication::instance();
}

// Runs the event loop until `done` holds or `ms` pass.
template <typename Done>
bool run_until(Done done, int ms = 8000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

void run_for(int ms) {
  run_until([] { return false; }, ms);
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One three-second clip for every test, made once.
struct Clip {
  TempFolder folder;
  std::string path = folder.file("clip.mkv");
  bool made = false;
  std::string why;
  Clip() { made = pelmora::testing::make_test_clip(path, 3, &why); }
};

const Clip& clip() {
  static Clip made;
  return made;
}

class MpvPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    if (!clip().made) GTEST_SKIP() << clip().why;
    player = engine.create_player();
    ASSERT_NE(player, nullptr) << "libmpv could not be initialised";
  }

  bool reaches(PlayState state, int ms = 8000) {
    return run_until([&] { return player->play_state() == state; }, ms);
  }
  void start(const std::string& address) {
    player->set_media_address(address);
    player->play();
  }

  MpvEngine engine{{MpvVideoOutput::kNone, MpvAudioOutput::kNone, {}}};
  std::unique_ptr<MpvPlayer> player;
};

TEST_F(MpvPlayerTest, NothingLoadedReadsReadyAndIgnoresTransportCalls) {
  EXPECT_TRUE(engine.available());
  player->play();
  player->pause();
  player->set_position(10);
  player->stop();
  run_for(200);
  EXPECT_EQ(player->play_state(), PlayState::kReady);
  EXPECT_EQ(player->media_address(), "");
  EXPECT_EQ(player->position(), 0);
  EXPECT_EQ(player->duration(), 0);
  EXPECT_EQ(player->download_permille(), 0);
  EXPECT_EQ(player->video_widget(), nullptr);  // made without video
}

TEST_F(MpvPlayerTest, PlaysALocalClipPausesSeeksAndEndsOnItsLastFrame) {
  start(clip().path);
  EXPECT_EQ(player->play_state(), PlayState::kPreparing);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_TRUE(run_until([&] { return player->duration() == 3; }, 2000));
  EXPECT_EQ(player->download_permille(), 1000);
  EXPECT_EQ(player->transfer_rate(), 0);  // nothing is transferred for a local file
  ASSERT_TRUE(run_until([&] { return player->position() >= 1; }));
  EXPECT_TRUE(run_until([&] { return player->stream_rate() > 0; }, 3000));

  player->pause();
  ASSERT_TRUE(reaches(PlayState::kPaused));
  const int paused_at = player->position();
  run_for(1200);
  EXPECT_EQ(player->position(), paused_at);

  player->set_position(0);
  EXPECT_EQ(player->position(), 0);  // reads back as written at once
  run_for(300);
  EXPECT_EQ(player->position(), 0);
  EXPECT_EQ(player->play_state(), PlayState::kPaused);

  player->set_position(2);
  player->play();
  ASSERT_TRUE(reaches(PlayState::kReady, 5000));
  EXPECT_EQ(player->position(), 0);
  EXPECT_EQ(player->duration(), 3);
  EXPECT_EQ(player->play_state(), PlayState::kReady);
  EXPECT_EQ(player->media_address(), clip().path);
  EXPECT_EQ(player->failure(), PlayFailure::kNone);

  // Play after the end starts the item again.
  player->play();
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_LT(player->position(), 2);
}

// The end of an item is the status monitor's reading, once, whoever else reads the position:
// after a seek into the last two seconds and plain reads there (the seek bar, the desktop's
// media controls) it is still held; when the monitor read the last two seconds, none follows.
// What the player tells of an item on a real clip: it begins, opens and shows its first picture
// at the place it was started from, lands a seek, and ends once; a missing file fails; a stopped
// item tells nothing more.
TEST_F(MpvPlayerTest, TellsWhatHappensToTheItemAsItHappens) {
  using platform::PlayerEvent;
  struct Heard final : platform::PlayerListener {
    std::vector<PlayerEvent> events;
    void player_event(PlayerEvent event) override { events.push_back(event); }
    int count(PlayerEvent event) const {
      return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
  } heard;
  player->set_listener(&heard);
  player->play_from(clip().path, 1);
  ASSERT_TRUE(run_until([&] { return heard.count(PlayerEvent::kFirstFrame) > 0; }));
  EXPECT_EQ(heard.events, (std::vector<PlayerEvent>{PlayerEvent::kOpening, PlayerEvent::kLoaded,
                                                    PlayerEvent::kFirstFrame}));
  EXPECT_EQ(player->position(), 1);  // the first picture is the start point's
  player->set_position(0);
  EXPECT_TRUE(run_until([&] { return heard.count(PlayerEvent::kSeekDone) == 1; }));
  ASSERT_TRUE(run_until([&] { return heard.count(PlayerEvent::kEnded) > 0; }, 8000));
  run_for(500);
  EXPECT_EQ(heard.count(PlayerEvent::kEnded), 1);

  heard.events.clear();
  player->play_from(clip().path + ".gone", 0);
  EXPECT_TRUE(run_until([&] { return heard.count(PlayerEvent::kFailed) == 1; }));
  heard.events.clear();
  player->play_from(clip().path, 0);
  player->stop();
  run_for(800);
  EXPECT_EQ(heard.count(PlayerEvent::kFirstFrame), 0);
  player->set_listener(nullptr);
}

TEST_F(MpvPlayerTest, TheReadingsSeeTheEndOnceWhoeverElseReadsThePosition) {
  start(clip().path);
  ASSERT_TRUE(run_until([&] { return player->duration() == 3; }));
  player->set_position(2);
  ASSERT_TRUE(run_until(
      [&] { return player->position() == 0 && player->play_state() == PlayState::kReady; }));
  EXPECT_EQ(player->readings().position, 3);
  EXPECT_EQ(player->readings().position, 0);

  player->play();
  player->set_position(1);
  PlayerReadings seen;
  int last = 0;
  ASSERT_TRUE(run_until([&] {
    seen = player->readings();
    if (seen.state != PlayState::kReady) last = seen.position;
    return seen.state == PlayState::kReady;
  }));
  EXPECT_GE(last, 2);
  EXPECT_EQ(seen.position, 0);
}

TEST_F(MpvPlayerTest, StopReadsStoppedAndTheNextPlayLoadsTheItemAgain) {
  start(clip().path);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  player->stop();
  EXPECT_EQ(player->play_state(), PlayState::kStopped);
  run_for(300);
  EXPECT_EQ(player->play_state(), PlayState::kStopped);
  EXPECT_EQ(player->position(), 0);
  EXPECT_EQ(player->duration(), 0);
  EXPECT_EQ(player->media_address(), clip().path);  // the status line still has an item

  player->play();
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_TRUE(run_until([&] { return player->duration() == 3; }, 2000));
}

TEST_F(MpvPlayerTest, VolumeIsClampedAndReadBackAndMuteIsKept) {
  start(clip().path);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  player->set_volume(150);
  EXPECT_EQ(player->volume(), 100);
  player->set_volume(-10);
  EXPECT_EQ(player->volume(), 0);
  player->set_volume(37);
  run_for(300);
  EXPECT_EQ(player->volume(), 37);  // what mpv reports after the write
  player->set_mute(true);
  run_for(300);
  EXPECT_TRUE(player->muted());
  player->set_mute(false);
  run_for(300);
  EXPECT_FALSE(player->muted());
}

TEST_F(MpvPlayerTest, AMissingFileReadsStoppedWithItsReason) {
  TempFolder folder;
  start(folder.file("no such film.mkv"));
  ASSERT_TRUE(reaches(PlayState::kStopped));
  EXPECT_FALSE(player->last_error().empty());
  EXPECT_EQ(player->failure(), PlayFailure::kMissingFile);
  EXPECT_EQ(player->position(), 0);
  EXPECT_EQ(player->duration(), 0);
  EXPECT_EQ(player->download_permille(), 0);
  run_for(300);
  EXPECT_EQ(player->play_state(), PlayState::kStopped);
}

TEST_F(MpvPlayerTest, AnItemReplacedAtOnceDoesNotSpoilTheNextOne) {
  TempFolder folder;
  start(folder.file("missing.mkv"));
  start(clip().path);  // the failure of the first arrives after this Play
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  run_for(300);
  EXPECT_EQ(player->play_state(), PlayState::kPlaying);
  EXPECT_TRUE(player->last_error().empty());
}

TEST_F(MpvPlayerTest, SeekAskedWhileLoadingIsDoneOnceTheItemOpens) {
  start(clip().path);
  player->set_position(2);
  ASSERT_TRUE(run_until([&] { return player->play_state() != PlayState::kPreparing; }));
  ASSERT_TRUE(run_until([&] { return player->position() == 2; }, 3000));
}

TEST_F(MpvPlayerTest, PlaysAnHttpStreamAndReportsItFullyDownloaded) {
  const std::string body = read_whole(clip().path);  // before the server, which goes first
  LoopbackServer server;
  server.on("/films/clip.mkv", [&](const std::string&, const std::string&) {
    LoopbackServer::Reply reply;
    reply.body = body;
    reply.content_type = "video/x-matroska";
    return reply;
  });
  start(server.base_url() + "films/clip.mkv");
  EXPECT_EQ(player->play_state(), PlayState::kConnecting);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_TRUE(run_until([&] { return player->duration() == 3; }, 2000));
  EXPECT_TRUE(run_until([&] { return player->download_permille() == 1000; }, 3000));
  EXPECT_TRUE(run_until([&] { return player->stream_rate() > 0; }, 3000));
  EXPECT_GE(player->transfer_rate(), 0);
  EXPECT_GE(server.requests(), 1);
  ASSERT_TRUE(run_until([&] { return player->position() >= 1; }));
}

TEST_F(MpvPlayerTest, AnHttpAddressThatAnswers404ReadsStopped) {
  LoopbackServer server;
  start(server.base_url() + "films/gone.mkv");
  ASSERT_TRUE(reaches(PlayState::kStopped));
  EXPECT_EQ(player->download_permille(), 0);
  EXPECT_EQ(player->failure(), PlayFailure::kUnreachable);
}

// Files that are there but cannot be played, and an address nobody answers on, each read as
// stopped with their own reason; the next item plays normally and clears it.
TEST_F(MpvPlayerTest, TellsAnUnreadableFormatABrokenFileAndAnUnreachableAddressApart) {
  TempFolder folder;
  const std::string text = folder.file("notes.mkv");
  {
    std::ofstream out(text);
    out << "these are notes, not a film\n";
  }
  const std::string broken = folder.file("subtitles only.mkv");
  std::string why;
  ASSERT_TRUE(pelmora::testing::make_subtitle_only_file(broken, &why)) << why;
  std::string closed;
  {
    LoopbackServer gone;  // a port that was just free and is closed again
    closed = gone.base_url() + "films/clip.mkv";
  }
  const std::pair<std::string, PlayFailure> cases[] = {
      {text, PlayFailure::kUnsupportedFormat},
      {broken, PlayFailure::kBrokenFile},
      {closed, PlayFailure::kUnreachable},
  };
  for (const auto& [address, why_not] : cases) {
    SCOPED_TRACE(address);
    start(address);
    ASSERT_TRUE(reaches(PlayState::kStopped));
    EXPECT_EQ(player->failure(), why_not);
  }
  start(clip().path);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_EQ(player->failure(), PlayFailure::kNone);
}

// The next item over http is opened while the current one plays, and the Play that follows
// (after the program's Stop, as the link protocol does it) takes the stream already open
// instead of asking the service again.
TEST_F(MpvPlayerTest, APreparedNextStreamIsOpenedAheadAndPlayedFromThere) {
  // Before the server, which goes first: a request still being answered uses them.
  const std::string body = read_whole(clip().path);
  std::atomic<int> next_requests{0};
  LoopbackServer server;
  auto serve = [&](bool next) {
    return [&, next](const std::string&, const std::string&) {
      if (next) ++next_requests;
      LoopbackServer::Reply reply;
      reply.body = body;
      reply.content_type = "video/x-matroska";
      return reply;
    };
  };
  server.on("/films/one.mkv", serve(false));
  server.on("/films/two.mkv", serve(true));
  const std::string next = server.base_url() + "films/two.mkv";
  start(server.base_url() + "films/one.mkv");
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  player->prepare_next(next);
  ASSERT_TRUE(run_until([&] { return next_requests.load() >= 1; }, 4000));
  const int asked = next_requests.load();
  run_for(300);
  player->stop();
  start(next);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  EXPECT_EQ(next_requests.load(), asked);
  EXPECT_EQ(player->media_address(), next);
  EXPECT_TRUE(run_until([&] { return player->position() >= 1; }));
}

// Episodes of the same length one after the other, each prepared ahead and started the moment
// the one before ends (as autoplay does): mpv reports a property only when its value changes,
// so each item must still read its own length and download, or its end is never seen.
TEST_F(MpvPlayerTest, ItemsOfTheSameLengthBackToBackEachReadTheirLengthAndDownload) {
  const std::string body = read_whole(clip().path);  // before the server, which goes first
  LoopbackServer server;
  for (const char* path : {"/e/1.mkv", "/e/2.mkv", "/e/3.mkv", "/e/4.mkv"}) {
    server.on(path, [&](const std::string&, const std::string&) {
      LoopbackServer::Reply reply;
      reply.body = body;
      reply.content_type = "video/x-matroska";
      return reply;
    });
  }
  for (int episode = 1; episode <= 4; ++episode) {
    const std::string address = server.base_url() + "e/" + std::to_string(episode) + ".mkv";
    if (episode > 1) player->stop();
    start(address);
    // The window has more to do when an item starts (lists, pages): mpv opens the item it had
    // prepared before the player hears from it again.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(reaches(PlayState::kPlaying)) << episode;
    EXPECT_TRUE(run_until([&] { return player->duration() == 3; }, 2000))
        << "episode " << episode << " reads length " << player->duration();
    EXPECT_TRUE(run_until([&] { return player->download_permille() == 1000; }, 2000))
        << "episode " << episode << " reads download " << player->download_permille();
    if (episode < 4) {
      player->prepare_next(server.base_url() + "e/" + std::to_string(episode + 1) + ".mkv");
    }
    player->set_position(2);
    ASSERT_TRUE(reaches(PlayState::kReady, 5000)) << episode;
  }
}

// mpv never moves on to the prepared item by itself: at the end the current item reads finished.
TEST_F(MpvPlayerTest, APreparedNextItemNeverStartsByItself) {
  const std::string body = read_whole(clip().path);  // before the server, which goes first
  LoopbackServer server;
  server.on("/films/two.mkv", [&](const std::string&, const std::string&) {
    LoopbackServer::Reply reply;
    reply.body = body;
    return reply;
  });
  start(clip().path);
  ASSERT_TRUE(reaches(PlayState::kPlaying));
  player->prepare_next(server.base_url() + "films/two.mkv");
  player->set_position(2);
  ASSERT_TRUE(reaches(PlayState::kReady, 5000));
  run_for(1000);
  EXPECT_EQ(player->play_state(), PlayState::kReady);
  EXPECT_EQ(player->media_address(), clip().path);
  EXPECT_EQ(player->duration(), 3);
}

// A download engine that answers with a local clip where the terminal answers with its stream
// address, and reads what the test sets.
class ClipEngine final : public DownloadEngine {
 public:
  std::string stream;
  std::string refusal;
  EngineStatus reading;
  std::vector<std::string> asked;
  std::vector<std::string> closed;

  void open(const std::string& address, Role role, Opened done) override {
    asked.push_back((role == Role::kPlay ? "play " : "next ") + address);
    if (done) QTimer::singleShot(0, [done, this] { done(refusal.empty() ? stream : "", refusal); });
  }
  void close(const std::string& address) override { closed.push_back(address); }
  EngineStatus status(const std::string&) const override { return reading; }
};

// The engine's addresses reach the player resolved to their stream: the item reads as the
// engine says while it waits, then as the player plays the stream, with the engine's share and
// rate; the engine's error and refusal are the item's failure.
TEST_F(MpvPlayerTest, EngineAddressesPlayThroughTheDownloadEngineWithItsReadings) {
  const std::string address = "qvod://1234|" + std::string(40, 'a') + "|clip.mkv|";
  ClipEngine engine;
  engine.stream = clip().path;
  engine.reading = {EngineStatus::State::kMetadata, 0, 0, ""};
  EngineStreamPlayer streams(std::move(player), engine);
  streams.set_media_address(address);
  streams.play();
  // Until the engine answers, the state says what it waits for.
  EXPECT_EQ(streams.play_state(), PlayState::kFetchingSeed);
  EXPECT_EQ(streams.download_permille(), 0);
  engine.reading = {EngineStatus::State::kDownloading, 640, 310, ""};
  ASSERT_TRUE(run_until([&] { return streams.play_state() == PlayState::kPlaying; }, 8000));
  EXPECT_EQ(engine.asked, std::vector<std::string>{"play " + address});
  EXPECT_EQ(streams.media_address(), address);
  EXPECT_EQ(streams.readings().address, address);
  EXPECT_EQ(streams.download_permille(), 640);
  EXPECT_EQ(streams.transfer_rate(), 310);
  EXPECT_EQ(streams.player().media_address(), clip().path);  // the player knows the stream only

  const std::string next = "qvod://99|" + std::string(40, 'b') + "|next.mkv|";
  streams.prepare_next(next);
  EXPECT_EQ(engine.asked.back(), "next " + next);
  // The engine losing every source while the item plays is an error state.
  engine.reading = {EngineStatus::State::kError, 640, 0, "no-source"};
  EXPECT_EQ(streams.play_state(), PlayState::kStopped);
  EXPECT_EQ(streams.failure(), PlayFailure::kNoSource);
  streams.stop();
  EXPECT_EQ(engine.closed, std::vector<std::string>{address});

  // A refusal reads stopped with the engine's reason.
  engine.refusal = "unwritable-folder";
  engine.reading = {};
  streams.play();
  ASSERT_TRUE(run_until([&] { return streams.failure() == PlayFailure::kUnwritableFolder; }, 3000));
  EXPECT_EQ(streams.play_state(), PlayState::kStopped);
}

TEST_F(MpvPlayerTest, FullScreenIsARequestAndTheRestIsRemembered) {
  std::vector<bool> requests;
  QObject::connect(player.get(), &MpvPlayer::full_screen_requested,
                   [&](bool on) { requests.push_back(on); });
  player->set_full_screen(true);
  player->set_full_screen(false);
  EXPECT_EQ(requests, (std::vector<bool>{true, false}));
  EXPECT_FALSE(player->full_screen());
  player->prepare_next("http://127.0.0.1:1/next.mkv");
  player->set_ad_page_address("http://127.0.0.1:1/js/ads/qvodad.html");
  EXPECT_EQ(player->prepared_next(), "http://127.0.0.1:1/next.mkv");
  EXPECT_EQ(player->ad_page_address(), "http://127.0.0.1:1/js/ads/qvodad.html");
  EXPECT_EQ(player->play_state(), PlayState::kReady);
}

// ---- The status monitor on the real player ----

// The main window on the headless backend (its clock follows the real one), with the player
// on libmpv: what the once-a-second monitor makes of the player's real readings.
class MonitorOnRealPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    application();
    if (!clip().made) GTEST_SKIP() << clip().why;
    const std::string base = service.base_url();
    config = app::Configuration::load(folder.path(), [base](const char* name) -> const char* {
      static std::string value;
      if (std::string_view(name) != "PELMORA_SERVICE_URL") return nullptr;
      value = base;
      return value.c_str();
    });
    services = std::make_unique<platform::Services>(
        platform::Services{headless.backend, headless.backend, http, headless.processes,
                           headless.launcher, headless.dialogs, headless.tray, headless.channel,
                           headless.power, headless.screen, headless.adapters, engine});
    app::prepare_settings(folder.path(), headless.adapters, headless.backend);
    lists::ensure_list(folder.path(), lists::kNetworkList);
    lists::ensure_list(folder.path(), lists::kLocalList);
    window = std::make_unique<app::BA1>(*services, config, folder.path(), "");
    headless.backend.attach(*window);
    window->load();
    ASSERT_NE(window->session().player(), nullptr);
  }
  // Runs Qt's event loop and the window's timers side by side for `ms` of real time.
  void run_window_for(int ms) {
    QElapsedTimer timer;
    timer.start();
    qint64 advanced = 0;
    while (timer.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      const qint64 now = timer.elapsed();
      headless.backend.advance(now - advanced);
      advanced = now;
    }
  }

  TempFolder folder;
  LoopbackServer service;
  headless::HeadlessPlatform headless;
  app::Configuration config;
  platform::CurlFetch http{
      [this](std::function<void()> task) { headless.backend.post(std::move(task)); }, 1000, 1500};
  MpvEngine engine{{MpvVideoOutput::kNone, MpvAudioOutput::kNone, {}}};
  std::unique_ptr<platform::Services> services;
  std::unique_ptr<app::BA1> window;
};

// A played clip ends once: the end-of-playback step runs one time, the status line says the
// item is finished and the finished item's resume point stays at its start.
TEST_F(MonitorOnRealPlayer, AClipPlayedToItsEndEndsOnce) {
  app::BA1& ba1 = *window;
  int end_steps = 0;
  const auto end_step = ba1.Timer2.on_timer;
  ba1.Timer2.on_timer = [&] {
    ++end_steps;
    end_step();
  };
  ba1.l_com(clip().path);
  run_window_for(9000);
  EXPECT_EQ(end_steps, 1);
  EXPECT_EQ(ba1.zhun.caption(), "播放完毕");
  EXPECT_EQ(ba1.session().last_position(), 1);
  EXPECT_FALSE(ba1.Timer2.timer_enabled());
  EXPECT_EQ(ba1.times.caption(), "00:00 / 00:03");
}

TEST_F(MonitorOnRealPlayer, AMissingFileSaysSoOnTheStatusLine) {
  window->l_com(folder.file("gone.mkv"));
  run_window_for(1500);
  EXPECT_EQ(window->zhun.caption(), "播放失败：文件不存在");
}

// ---- The picture in the widget ----

bool has_picture(const QImage& image) {
  for (int y = 0; y < image.height(); y += 8) {
    for (int x = 0; x < image.width(); x += 8) {
      const QRgb pixel = image.pixel(x, y);
      if (qRed(pixel) + qGreen(pixel) + qBlue(pixel) > 60) return true;
    }
  }
  return false;
}

// Why a picture test cannot run here (no widget application, no X display), or nothing.
std::string why_no_picture() {
  application();
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return "another test made a non-widget application in this process; run alone";
  }
  if (QGuiApplication::platformName() != "xcb") {
    return "no X display (platform " + QGuiApplication::platformName().toStdString() +
           "); Xvfb is needed";
  }
  return clip().made ? std::string() : clip().why;
}

// Puts the player's picture into `window`, hidden: the program shows it only once an item plays.
void host_hidden(QWidget* video, QWidget& window) {
  window.resize(320, 240);
  video->setParent(&window);
  video->setGeometry(0, 0, 320, 240);
  video->hide();
}

TEST(MpvVideoWidgetTest, DrawsTheClipEvenWhenTheItemStartedBeforeTheWidgetWasShown) {
  if (const std::string why = why_no_picture(); !why.empty()) GTEST_SKIP() << why;
  MpvOutputs outputs{MpvVideoOutput::kWidget, MpvAudioOutput::kNone, {}};
  if (const char* log = std::getenv("PELMORA_TEST_MPV_LOG")) outputs.log_file = log;
  MpvEngine engine{outputs};
  auto player = engine.create_player();
  ASSERT_NE(player, nullptr);
  QWidget window;
  QWidget* video = player->video_widget();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(player->video_widget(), video);
  host_hidden(video, window);

  player->set_media_address(clip().path);
  player->play();
  ASSERT_TRUE(run_until([&] { return player->play_state() == PlayState::kPlaying; }));
  window.show();
  video->show();
  auto* widget = static_cast<MpvVideoWidget*>(video);
  if (!run_until([&] { return widget->rendering(); }, 5000)) {
    GTEST_SKIP() << "no OpenGL context for the video widget on this display";
  }
  // The picture keeps coming while the item plays on to its end.
  EXPECT_TRUE(run_until([&] { return player->play_state() == PlayState::kReady; }, 8000))
      << "state " << static_cast<int>(player->play_state()) << ", position " << player->position()
      << ", frames drawn " << widget->frames_drawn();
  EXPECT_GT(widget->frames_drawn(), 10);
  EXPECT_TRUE(has_picture(video->grab().toImage()));
  // The player goes first; the widget stays with its parent and draws black from then on.
  player.reset();
  EXPECT_FALSE(widget->rendering());
}

// The start-up's check finds the player's library without loading it: in a folder, or at a path
// of the loader's cache whose file is there (a listed file that is gone, or a longer name that
// ends the same way, does not count).
TEST(MpvLibraryTest, IsFoundInAFolderOrAtAPathTheLoadersCacheListsThatIsThere) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("pelmora-library-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "a");
  std::ofstream(folder / "a" / "libmpv.so.2") << "x";
  std::ofstream(folder / "a" / "libmpv.so.20") << "x";
  const std::string there = (folder / "a" / "libmpv.so.2").string();
  const std::string gone = (folder / "gone" / "libmpv.so.2").string();
  const std::string longer = (folder / "a" / "libmpv.so.20").string();
  const auto cache_of = [](const std::vector<std::string>& paths) {
    std::string cache("ld.so-1.7.0\0glibc-ld.so.cache1.1", 32);
    for (const std::string& path : paths) cache += path + std::string(1, '\0');
    return cache;
  };
  EXPECT_TRUE(library_found({"libmpv.so.2"}, {(folder / "a").string()}, ""));
  EXPECT_FALSE(library_found({"libmpv.so.2"}, {folder.string()}, ""));
  EXPECT_TRUE(library_found({"libmpv.so.2"}, {}, cache_of({longer, gone, there})));
  EXPECT_FALSE(library_found({"libmpv.so.2"}, {}, cache_of({gone, longer})));
  EXPECT_TRUE(library_found({"libmpv.so.9", "libmpv.so.2"}, {}, cache_of({there})));
  std::filesystem::remove_all(folder);
}

// mpv's own output in the native window: the player starts mpv with its first item, which then
// plays at the volume and mute set before, opens the output and keeps it between items.
TEST(MpvVideoWindowTest, TheFirstItemStartsThePlayerAsSetBeforeAndKeepsItsOutput) {
  if (const std::string why = why_no_picture(); !why.empty()) GTEST_SKIP() << why;
  MpvEngine engine{{MpvVideoOutput::kWindow, MpvAudioOutput::kNone, {}}};
  auto player = engine.create_player();
  ASSERT_NE(player, nullptr);
  QWidget window;
  QWidget* video = player->video_widget();
  ASSERT_NE(video, nullptr);
  host_hidden(video, window);
  window.show();
  player->set_volume(40);
  player->set_mute(true);
  run_for(300);
  EXPECT_FALSE(player->video_output_open());
  EXPECT_EQ(player->play_state(), PlayState::kReady);

  player->set_media_address(clip().path);
  player->play();
  ASSERT_TRUE(run_until([&] { return player->play_state() == PlayState::kPlaying; }));
  EXPECT_TRUE(run_until([&] { return player->picture_shown(); }));
  EXPECT_EQ(player->duration(), 3);
  run_for(300);  // mpv reports its volume and mute by now
  EXPECT_EQ(player->volume(), 40);
  EXPECT_TRUE(player->muted());
  video->show();
  player->stop();
  EXPECT_TRUE(run_until([&] { return player->play_state() == PlayState::kStopped; }));
  EXPECT_TRUE(player->video_output_open()) << "the output is kept between items";
}

}  // namespace
}  // namespace pelmora::platform::qt
