// The terminal as a real process against the demo service on loopback: where an item's bytes
// come from, what the stream server answers, and how the terminal fails.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <map>
#include <thread>

#include "demo_service.h"
#include "terminal_harness.h"

namespace pelmora::testing {
namespace {

constexpr std::size_t kPiece = 256 * 1024;
using fs_perms = std::filesystem::perms;

class TerminalRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    media_ = folder_.path() + "/media";
    clip_ = make_sample(media_, "p101-s1-e01.mp4", 3 * 1024 * 1024 + 12345, 1);
  }

  void start_service(bool corrupt_web_seed = false) {
    service::ServiceOptions options;
    options.media_folder = media_;
    options.corrupt_web_seed = corrupt_web_seed;
    service_ = std::make_unique<service::DemoService>(std::move(options));
    ASSERT_TRUE(service_->start());
  }

  // A terminal with a player folder of its own whose QvodPlayer.xml names its download folder.
  std::unique_ptr<Terminal> terminal(const std::string& name, std::vector<std::string> arguments,
                                     std::string service_url = {}) {
    const std::string home = folder_.path() + "/" + name;
    std::filesystem::create_directories(home + "/player");
    std::ofstream(home + "/player/QvodPlayer.xml")
        << "<?xml version=\"1.0\"?>\r\n<Setting Defaultsavepath=\"" << downloads(name)
        << "\" />\r\n";
    return std::make_unique<Terminal>(Terminal::Setup{
        home + "/player", home + "/run", service_url.empty() ? service_->base_url() : service_url,
        std::move(arguments)});
  }
  std::string downloads(const std::string& name) const {
    return folder_.path() + "/" + name + "/downloads";
  }
  std::unique_ptr<Terminal> seeder() {
    return terminal("seeder", {"--seed", media_, "--no-web-seed"});
  }

  TempFolder folder_;
  std::string media_;
  SampleItem clip_;
  std::unique_ptr<service::DemoService> service_;
};

// Each source alone and both together deliver the verified file to the stream and the download
// folder.
TEST_F(TerminalRoad, StreamsAndKeepsTheFileFromEachSource) {
  start_service();
  const auto seed = seeder();
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
  };
  for (const Case& c : {Case{"web-seed-only", {"--no-peers"}},
                        Case{"peers-only", {"--no-web-seed"}}, Case{"both", {}}}) {
    SCOPED_TRACE(c.name);
    const auto player = terminal(c.name, c.arguments);
    const std::string stream = player->open(clip_.address());
    ASSERT_TRUE(stream.starts_with("http://127.0.0.1:")) << stream;
    EXPECT_TRUE(stream.ends_with("/p101-s1-e01.mp4"));
    const Got got = http_get(stream);
    EXPECT_EQ(got.status, 200);
    EXPECT_TRUE(got.body == clip_.bytes);
    auto status = player->wait_state(clip_.hash, "finished");
    EXPECT_EQ(status["permille"], "1000");
    EXPECT_EQ(status["error"], "");
    EXPECT_TRUE(read_file(downloads(c.name) + "/" + clip_.name) == clip_.bytes);
  }
}

// A web seed that sends wrong bytes: its pieces fail their hash and come again from the peer;
// neither the stream nor the kept file ever holds a wrong byte.
TEST_F(TerminalRoad, WrongBytesFromTheWebSeedAreNeverServedOrKept) {
  start_service(/*corrupt_web_seed=*/true);
  const auto seed = seeder();
  const auto player = terminal("player", {});
  const std::string stream = player->open(clip_.address());
  const Got got = http_get(stream);
  EXPECT_EQ(got.status, 200);
  EXPECT_TRUE(got.body == clip_.bytes);
  EXPECT_EQ(player->wait_state(clip_.hash, "finished")["permille"], "1000");
  EXPECT_TRUE(read_file(downloads("player") + "/" + clip_.name) == clip_.bytes);
}

// Killed mid-download, the terminal starts again from what it had verified.
TEST_F(TerminalRoad, ResumesAfterBeingKilled) {
  const std::size_t size = 24 * kPiece;
  const SampleItem big = make_sample(media_, "p102-s1-e01.mp4", size, 2);
  start_service();
  auto player = terminal("player", {"--no-peers", "--download-limit", "1500"});
  ASSERT_FALSE(player->open(big.address(), "next").empty());
  auto status = player->status(big.hash);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::stoi(status["permille"]) < 300 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    status = player->status(big.hash);
  }
  const int before = std::stoi(status["permille"]);
  ASSERT_GE(before, 300);
  ASSERT_LT(before, 1000);
  EXPECT_EQ(player->stop(SIGKILL), 128 + SIGKILL);
  // Its state is the user's alone, and so is state an older terminal left readable by others.
  const std::string state = folder_.path() + "/player/player/engine-state";
  const auto mode = [](const std::filesystem::path& path) {
    return static_cast<int>(std::filesystem::status(path).permissions() & fs_perms::all);
  };
  ASSERT_EQ(mode(state), 0700);
  for (const auto& entry : std::filesystem::directory_iterator(state)) {
    EXPECT_EQ(mode(entry.path()), 0600) << entry.path();
    std::filesystem::permissions(entry.path(), fs_perms(0644));
  }
  std::filesystem::permissions(state, fs_perms(0755));

  player = terminal("player", {"--no-peers"});
  // The item comes back by itself and finishes without fetching again what it had.
  status = player->wait_state(big.hash, "finished");
  EXPECT_EQ(status["permille"], "1000");
  const std::int64_t fetched = std::stoll(status["downloaded"]);
  const std::int64_t had = static_cast<std::int64_t>(size) * before / 1000;
  EXPECT_LE(fetched, static_cast<std::int64_t>(size) - had + static_cast<std::int64_t>(kPiece));
  EXPECT_TRUE(read_file(downloads("player") + "/" + big.name) == big.bytes);
  EXPECT_EQ(mode(state), 0700);
  for (const auto& entry : std::filesystem::directory_iterator(state)) {
    EXPECT_EQ(mode(entry.path()), 0600) << entry.path();
  }
}

// A read far ahead of the download waits for its pieces, which are fetched before the rest.
TEST_F(TerminalRoad, AReadAheadOfTheDownloadGetsItsPiecesFirst) {
  const std::size_t size = 32 * kPiece;
  const SampleItem big = make_sample(media_, "p102-s1-e02.mp4", size, 3);
  start_service();
  const auto player = terminal("player", {"--no-peers", "--download-limit", "1024"});
  const std::string stream = player->open(big.address());
  ASSERT_FALSE(stream.empty());
  const std::size_t from = size - kPiece - 1000;
  const Got tail = http_get(stream, std::to_string(from) + "-" + std::to_string(from + 99));
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.body, big.bytes.substr(from, 100));
  EXPECT_LT(std::stoi(player->status(big.hash)["permille"]), 700);
  const Got head = http_get(stream, "0-99");
  EXPECT_EQ(head.body, big.bytes.substr(0, 100));
}

// A playing item that starts from nothing fetches only the first pieces its player reads until
// its start-up time has passed (so the first frame does not wait behind the rest of the file);
// then the rest follows at full speed.
TEST_F(TerminalRoad, AStartingItemFetchesOnlyWhatItsFirstReadsNeed) {
  const std::size_t size = 32 * kPiece;
  const SampleItem big = make_sample(media_, "p102-s1-e03.mp4", size, 4);
  start_service();
  const auto player = terminal("player", {"--no-peers", "--startup-time", "4000"});
  const std::string stream = player->open(big.address());
  ASSERT_FALSE(stream.empty());
  const Got head = http_get(stream, "0-99");
  EXPECT_EQ(head.body, big.bytes.substr(0, 100));
  // Without the limit the web seed on loopback would have sent the whole file by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::int64_t bound = 2 * 1024 * 1024 + kPiece;
  EXPECT_LE(std::stoll(player->status(big.hash)["downloaded"]), bound);
  EXPECT_EQ(player->wait_state(big.hash, "finished")["permille"], "1000");
  EXPECT_TRUE(http_get(stream).body == big.bytes);
}

// The next episode, prepared while one plays: it is held to its own rate so that the playing
// item keeps the line, and its first and last pieces (the container's header and index) come
// before the rest.
TEST_F(TerminalRoad, APreparedNextItemYieldsToThePlayingOneAndFetchesItsEndsFirst) {
  const std::size_t size = 32 * kPiece;
  const SampleItem playing = make_sample(media_, "p102-s1-e04.mp4", size, 5);
  // Twice as long, so that it would still be downloading when the playing one ends.
  const std::size_t next_size = 2 * size;
  const SampleItem next = make_sample(media_, "p102-s1-e05.mp4", next_size, 6);
  start_service();
  const auto player = terminal("player", {"--no-peers", "--download-limit", "2048"});
  const std::string stream = player->open(playing.address());
  const auto opened = std::chrono::steady_clock::now();
  ASSERT_FALSE(player->open(next.address(), "next").empty());
  EXPECT_EQ(http_get(stream, "0-99").body, playing.bytes.substr(0, 100));

  const std::string kept = downloads("player") + "/" + next.name;
  bool ends_checked = false;
  std::int64_t next_when_played = -1;
  double played_seconds = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline && (!ends_checked || next_when_played < 0)) {
    auto prepared = player->status(next.hash);
    if (!ends_checked && std::stoi(prepared["permille"]) >= 250) {
      // A quarter verified: the four pieces of the start and the two of the end are among them.
      const std::string file = read_file(kept);
      ASSERT_EQ(file.size(), next_size);
      EXPECT_TRUE(file.substr(0, 4 * kPiece) == next.bytes.substr(0, 4 * kPiece));
      EXPECT_TRUE(file.substr(next_size - 2 * kPiece) == next.bytes.substr(next_size - 2 * kPiece));
      ends_checked = true;
    }
    if (next_when_played < 0 && player->status(playing.hash)["state"] == "finished") {
      next_when_played = std::stoll(player->status(next.hash)["downloaded"]);
      played_seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(ends_checked);
  // Meanwhile (at least four seconds at the playing item's 2 MiB/s) the prepared one was held to
  // 1 MiB/s, give or take the rate limiter's burst; at its own 2 MiB/s it would have had about
  // twice that. A slow machine only makes it less.
  ASSERT_GE(next_when_played, 0);
  EXPECT_LE(next_when_played, static_cast<std::int64_t>((played_seconds + 1.5) * 1024 * 1024))
      << "after " << played_seconds << " s";
}

// The stream server: ranges, the end of the file, tokens, and two players on one item.
TEST_F(TerminalRoad, StreamServerAnswersRangesAndRefusesStrangers) {
  start_service();
  const auto player = terminal("player", {"--no-peers"});
  const std::string stream = player->open(clip_.address());
  ASSERT_FALSE(stream.empty());
  const std::size_t size = clip_.bytes.size();

  // Two players ask for the same item at the same time, each for its own part.
  auto first = std::async(std::launch::async, [&] { return http_get(stream, "1000-299999"); });
  auto second = std::async(std::launch::async,
                           [&] { return http_get(player->open(clip_.address()), "-5000"); });
  Got a = first.get();
  Got b = second.get();
  EXPECT_EQ(a.status, 206);
  EXPECT_EQ(a.body, clip_.bytes.substr(1000, 299000));
  EXPECT_EQ(a.headers["Content-Range"], "bytes 1000-299999/" + std::to_string(size));
  EXPECT_EQ(b.status, 206);
  EXPECT_EQ(b.body, clip_.bytes.substr(size - 5000));
  EXPECT_EQ(player->open(clip_.address(), "next"), stream);

  Got past = http_get(stream, std::to_string(size) + "-");
  EXPECT_EQ(past.status, 416);
  EXPECT_EQ(past.headers["Content-Range"], "bytes */" + std::to_string(size));
  const Got last = http_get(stream, std::to_string(size - 1) + "-" + std::to_string(size + 50));
  EXPECT_EQ(last.status, 206);
  EXPECT_EQ(last.body, clip_.bytes.substr(size - 1));

  // Another item's token, a made-up token, and the control API without its token.
  const std::string origin = stream.substr(0, stream.find("/stream/"));
  EXPECT_EQ(http_get(origin + "/stream/" + std::string(32, '0') + "/x.mp4").status, 404);
  EXPECT_EQ(http_get(origin + "/" + std::string(32, 'a') + "/status?hash=" + clip_.hash).status,
            403);
  EXPECT_EQ(http_get(origin + "/quit").status, 404);
  EXPECT_EQ(player->status(std::string(40, 'b'))["http"], "404");
}

TEST_F(TerminalRoad, RefusesAddressesOutsideTheGrammar) {
  start_service();
  const auto player = terminal("player", {"--no-peers"});
  for (const std::string& address : std::vector<std::string>{
           "qvod://12|" + clip_.hash + "|a.mp4", "http://example.invalid/a.mp4",
           "qvod://0|" + clip_.hash + "|a.mp4|", "qvod://12|" + clip_.hash.substr(1) + "|a.mp4|",
           "qvod://12|" + clip_.hash + "|../a.mp4|", "",
           // A name no file system takes: refused before anything is fetched.
           "qvod://12|" + clip_.hash + "|" + std::string(300, 'a') + ".mp4|"}) {
    SCOPED_TRACE(address);
    const Got got =
        player->control("open?address=" + engine::percent_encode(address) + "&role=play");
    EXPECT_EQ(got.status, 400);
    EXPECT_EQ(got.body, "error=bad-address\n");
  }
  EXPECT_EQ(
      player->control("open?address=" + engine::percent_encode(clip_.address()) + "&role=fast")
          .status,
      400);
}

TEST_F(TerminalRoad, AnUnwritableDownloadFolderIsAnErrorState) {
  start_service();
  // A folder below a plain file can never be made, whoever runs the test.
  std::ofstream(folder_.path() + "/plain-file") << "x";
  const std::string home = folder_.path() + "/player";
  std::filesystem::create_directories(home + "/player");
  std::ofstream(home + "/player/QvodPlayer.xml")
      << "<Setting Defaultsavepath=\"" << folder_.path() << "/plain-file/downloads\" />\r\n";
  Terminal player({home + "/player", home + "/run", service_->base_url(), {"--no-peers"}});
  ASSERT_FALSE(player.open(clip_.address()).empty());
  auto status = player.wait_state(clip_.hash, "error", 10);
  EXPECT_EQ(status["error"], "unwritable-folder");
}

// No service, no peer: the item fails within the configured time-out instead of waiting for ever,
// and a read of its stream ends instead of hanging.
TEST_F(TerminalRoad, NoSourceFailsWithinTheTimeOut) {
  start_service();
  const std::string gone = service_->base_url();
  service_ = nullptr;
  const auto player = terminal("player", {"--source-timeout", "2"}, gone);
  const std::string stream = player->open(clip_.address());
  ASSERT_FALSE(stream.empty());
  auto early = player->status(clip_.hash);
  EXPECT_TRUE(early["state"] == "connecting" || early["state"] == "metadata") << early["state"];
  const auto started = std::chrono::steady_clock::now();
  const Got got = http_get(stream, "0-99", 20);
  EXPECT_NE(got.status, 206);
  auto status = player->wait_state(clip_.hash, "error", 10);
  EXPECT_EQ(status["error"], "no-source");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// One terminal per user: a second start hands its shares to the first and ends.
TEST_F(TerminalRoad, ASecondStartHandsOverAndEnds) {
  start_service();
  const auto first = terminal("player", {"--no-peers"});
  const std::string home = folder_.path() + "/player";
  Terminal second({home + "/player",
                   home + "/run",
                   service_->base_url(),
                   {"--seed", media_},
                   /*wait_for_endpoint=*/false});
  EXPECT_EQ(second.wait_exit(), 0);
  EXPECT_EQ(first->status(clip_.hash)["state"], "finished");
  EXPECT_EQ(first->stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(first->endpoint_file()));
}

// An address with a wrong SIZE is refused by the metadata without blocking the right one, in
// this run and after a restart; the saved state keeps only the proven size.
TEST_F(TerminalRoad, AWrongSizeIsRefusedWithoutBlockingTheRightOne) {
  start_service();
  const std::string wrong = "qvod://" + std::to_string(clip_.bytes.size() + 1) + "|" + clip_.hash +
                            "|" + clip_.name + "|";
  auto player = terminal("player", {"--no-peers"});
  ASSERT_FALSE(player->open(wrong).empty());
  EXPECT_EQ(player->wait_state(clip_.hash, "error", 10)["error"], "metadata-mismatch");
  EXPECT_EQ(player->stop(), 0);

  player = terminal("player", {"--no-peers"});
  const std::string stream = player->open(clip_.address());
  ASSERT_FALSE(stream.empty());
  EXPECT_TRUE(http_get(stream).body == clip_.bytes);
  EXPECT_EQ(player->wait_state(clip_.hash, "finished")["permille"], "1000");
  const Got refused = player->control("open?address=" + engine::percent_encode(wrong));
  EXPECT_EQ(refused.status, 409);
  EXPECT_EQ(refused.body, "error=metadata-mismatch\n");
  EXPECT_EQ(player->status(clip_.hash)["state"], "finished");
  EXPECT_EQ(player->stop(), 0);

  const std::string saved =
      read_file(folder_.path() + "/player/player/engine-state/" + clip_.hash + ".item");
  EXPECT_NE(saved.find("size=" + std::to_string(clip_.bytes.size()) + "\n"), std::string::npos)
      << saved;
  player = terminal("player", {"--no-peers"});
  EXPECT_EQ(player->wait_state(clip_.hash, "finished")["permille"], "1000");
}

// The stream of an item in error answers the error instead of a promise of bytes; every 416
// names the size.
TEST_F(TerminalRoad, AStreamAnswersItsItemsErrorAndEvery416NamesTheSize) {
  start_service();
  const std::string gone = service_->base_url();
  service_ = nullptr;
  const auto player = terminal("player", {"--source-timeout", "1"}, gone);
  const std::string stream = player->open(clip_.address());
  ASSERT_EQ(player->wait_state(clip_.hash, "error", 10)["error"], "no-source");
  const Got failed = http_get(stream, "", 5);
  EXPECT_EQ(failed.status, 503);
  EXPECT_EQ(failed.body, "error=no-source\n");

  start_service();
  const auto served = terminal("served", {"--no-peers"});
  const std::string good = served->open(clip_.address());
  const std::string size = std::to_string(clip_.bytes.size());
  for (const std::string& range :
       std::vector<std::string>{size + "-", "-0", "5-3", "x-y", size + "-" + size + "0"}) {
    SCOPED_TRACE(range);
    Got got = http_get(good, range);
    if (got.status == 416) {
      EXPECT_EQ(got.headers["Content-Range"], "bytes */" + size);
    } else {
      EXPECT_EQ(got.status, 200);
      EXPECT_TRUE(got.body == clip_.bytes);
    }
  }
}

// Idle and trickling local connections without a token (they send a header line now and then)
// do not hold up the player's status calls and stream reads.
TEST_F(TerminalRoad, StrangersConnectionsCannotStallThePlayer) {
  start_service();
  const auto player = terminal("player", {"--no-peers"});
  const std::string stream = player->open(clip_.address());
  ASSERT_FALSE(stream.empty());
  const std::string origin = stream.substr(7, stream.find("/stream/") - 7);
  const int port = std::stoi(origin.substr(origin.find(':') + 1));
  const auto connect_one = [port] {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
  };
  std::atomic<bool> done{false};
  // 100 idle connections, and 100 that send a request line and then a header line every 300 ms,
  // each connected again whenever the terminal closes it.
  std::thread strangers([&] {
    std::vector<int> idle, trickling;
    for (int i = 0; i < 100; ++i) idle.push_back(connect_one());
    for (int i = 0; i < 100; ++i) {
      trickling.push_back(connect_one());
      ::send(trickling.back(), "GET /stream/x HTTP/1.1\r\n", 24, MSG_NOSIGNAL);
    }
    while (!done) {
      for (int& fd : trickling) {
        if (::send(fd, "X-A: b\r\n", 8, MSG_NOSIGNAL) < 0) {
          ::close(fd);
          fd = connect_one();
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (int fd : idle) ::close(fd);
    for (int fd : trickling) ::close(fd);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the strangers are all there
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(4);
  int calls = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto asked = std::chrono::steady_clock::now();
    const Got status = http_get(player->base() + "status?hash=" + clip_.hash, "", 3);
    const Got read = http_get(stream, "0-99", 3);
    EXPECT_EQ(status.status, 200);
    EXPECT_EQ(read.body, clip_.bytes.substr(0, 100));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(2));
    ++calls;
  }
  done = true;
  strangers.join();
  EXPECT_GE(calls, 4);
}

// The most context switches one thread of process `pid` made over `seconds`.
long busiest_thread(pid_t pid, int seconds) {
  const auto switches = [pid] {
    std::map<std::string, long> counts;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
      const std::string status = read_file(task.path().string() + "/status");
      const std::size_t at = status.find("voluntary_ctxt_switches:");
      if (at != std::string::npos) {
        counts[task.path().filename().string()] = std::stol(status.substr(at + 24));
      }
    }
    return counts;
  };
  const auto before = switches();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  long most = 0;
  for (const auto& [task, count] : switches()) {
    const auto old = before.find(task);
    most = std::max(most, count - (old != before.end() ? old->second : 0));
  }
  return most;
}

// A whole item that no one reads any more leaves the terminal at rest (its loop wakes once a
// second, not ten times); should its file go meanwhile, the next open fetches it again.
TEST_F(TerminalRoad, AWholeItemNoOneReadsRestsAndIsFetchedAgainIfItsFileWent) {
  const SampleItem item = make_sample(media_, "p102-s1-e08.mp4", 8 * kPiece, 9);
  start_service();
  const auto player = terminal("resting", {"--no-peers"});
  const std::string stream = player->open(item.address());
  ASSERT_FALSE(stream.empty());
  EXPECT_TRUE(http_get(stream).body == item.bytes);
  EXPECT_EQ(player->wait_state(item.hash, "finished")["permille"], "1000");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LE(busiest_thread(player->pid(), 5), 25);

  std::filesystem::remove(downloads("resting") + "/" + item.name);
  const std::string again = player->open(item.address());
  ASSERT_FALSE(again.empty());
  EXPECT_TRUE(http_get(again).body == item.bytes);
  EXPECT_TRUE(read_file(downloads("resting") + "/" + item.name) == item.bytes);
}

// The download folder removed mid-download is made again at once and the item fetched afresh;
// a full folder is its own error, and what was verified before stays readable.
TEST_F(TerminalRoad, StorageFaultsShowAtOnceAndKeepWhatWasVerified) {
  const std::size_t size = 24 * kPiece;
  const SampleItem big = make_sample(media_, "p102-s1-e06.mp4", size, 7);
  start_service();
  {
    const auto player = terminal("removed", {"--no-peers", "--download-limit", "2048"});
    ASSERT_FALSE(player->open(big.address(), "next").empty());
    auto status = player->status(big.hash);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::stoi(status["permille"]) < 200 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      status = player->status(big.hash);
    }
    std::filesystem::remove_all(downloads("removed"));
    const auto removed = std::chrono::steady_clock::now();
    while (!std::filesystem::exists(downloads("removed")) &&
           std::chrono::steady_clock::now() - removed < std::chrono::seconds(5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - removed, std::chrono::seconds(1));
    EXPECT_EQ(player->wait_state(big.hash, "finished")["permille"], "1000");
    EXPECT_TRUE(read_file(downloads("removed") + "/" + big.name) == big.bytes);
  }

  // A folder of 2 MiB on a file system of its own (mounting needs root).
  const std::string full = downloads("full");
  std::filesystem::create_directories(full);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=2m") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  {
    const auto player = terminal("full", {"--no-peers", "--startup-time", "0"});
    const std::string stream = player->open(big.address());
    auto status = player->wait_state(big.hash, "error", 10);
    EXPECT_EQ(status["error"], "folder-full");
    EXPECT_GE(std::stoi(status["permille"]), 40);
    const Got head = http_get(stream, "0-" + std::to_string(kPiece - 1), 5);
    EXPECT_EQ(head.status, 206);
    EXPECT_TRUE(head.body == big.bytes.substr(0, kPiece));
  }
  ::umount2(full.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace pelmora::testing
