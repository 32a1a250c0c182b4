// The terminal among independent BitTorrent clients, each direction: a client fetches the
// metadata and the whole file from a seeding terminal (and its bytes are the file's), and the
// terminal fetches them from a seeding client. Everything on loopback, the clients' distributed
// hash tables, local discovery and port mapping off.
#include <gtest/gtest.h>
#include <spawn.h>

#include <filesystem>

#include "demo_service.h"
#include "terminal_harness.h"

namespace pelmora::testing {
namespace {

constexpr std::size_t kSize = 6 * 1024 * 1024 + 4321;

bool installed(const std::string& program) {
  for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
    if (::access((folder + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

// A client program, ended (and waited for) with the test.
class Client {
 public:
  explicit Client(std::vector<std::string> args, const std::string& log) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Client() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

 private:
  pid_t pid_ = -1;
};

class Interop : public ::testing::Test {
 protected:
  void SetUp() override {
    // The service knows nothing of the file: no web seed, no metadata; only peers have them.
    service::ServiceOptions options;
    options.media_folder = folder_.path() + "/service-media";
    std::filesystem::create_directories(options.media_folder);
    service_ = std::make_unique<service::DemoService>(std::move(options));
    ASSERT_TRUE(service_->start());
    seeds_ = folder_.path() + "/seeds";
    clip_ = make_sample(seeds_, "p201-s1-e01.mkv", kSize, 21);
    const std::string announce = service_->base_url() + "announce";
    auto made = torrent::make_torrent(seeds_ + "/" + clip_.name, clip_.name).value();
    std::ofstream(folder_.path() + "/clip.torrent", std::ios::binary)
        << "d8:announce" << announce.size() << ":" << announce << made.torrent.substr(1);
    magnet_ = "magnet:?xt=urn:btih:" + clip_.hash + "&dn=" + clip_.name +
              "&tr=" + engine::percent_encode(announce);
    binary_hash_.clear();
    for (std::size_t i = 0; i < 40; i += 2) {
      binary_hash_ += static_cast<char>(std::stoi(clip_.hash.substr(i, 2), nullptr, 16));
    }
  }

  std::unique_ptr<Terminal> terminal(const std::string& name, std::vector<std::string> arguments) {
    const std::string home = folder_.path() + "/" + name;
    std::filesystem::create_directories(home + "/player");
    std::ofstream(home + "/player/QvodPlayer.xml")
        << "<Setting Defaultsavepath=\"" << home << "/downloads\" />\r\n";
    arguments.push_back("--no-web-seed");
    return std::make_unique<Terminal>(Terminal::Setup{home + "/player", home + "/run",
                                                      service_->base_url(), std::move(arguments)});
  }

  // Waits until the tracker has heard of `peers` peers of the file.
  bool wait_for_swarm(int peers) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (service_->tracker_peers(binary_hash_) < peers) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  // Waits until `path` holds the whole file; true when its bytes are the file's.
  bool wait_for_file(const std::string& path, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      std::error_code ec;
      if (std::filesystem::file_size(path, ec) == kSize && read_file(path) == clip_.bytes) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // The terminal fetches the metadata and the whole file from the seeding client alone.
  void terminal_fetches_from_the_client() {
    const auto player = terminal("player", {});
    const std::string stream = player->open(clip_.address());
    ASSERT_FALSE(stream.empty());
    auto status = player->wait_state(clip_.hash, "finished", 60);
    EXPECT_EQ(status["permille"], "1000");
    EXPECT_TRUE(http_get(stream).body == clip_.bytes);
    EXPECT_TRUE(read_file(folder_.path() + "/player/downloads/" + clip_.name) == clip_.bytes);
  }

  std::unique_ptr<Terminal> seeding_terminal() { return terminal("seeder", {"--seed", seeds_}); }

  std::vector<std::string> aria2(const std::string& folder, bool seeding) {
    std::vector<std::string> args = {"aria2c",
                                     "--dir=" + folder,
                                     "--enable-dht=false",
                                     "--enable-dht6=false",
                                     "--bt-enable-lpd=false",
                                     "--listen-port=" + std::to_string(free_port()),
                                     "--console-log-level=warn",
                                     "--summary-interval=0",
                                     "--file-allocation=none",
                                     "--bt-tracker-interval=1",
                                     "--no-conf=true"};
    if (seeding) {
      args.insert(args.end(),
                  {"--check-integrity=true", "--seed-ratio=0.0", folder_.path() + "/clip.torrent"});
    } else {
      args.insert(args.end(), {"--seed-time=0", magnet_});
    }
    return args;
  }

  std::vector<std::string> transmission(const std::string& folder, const std::string& input) {
    const std::string config = folder_.path() + "/transmission-" + std::to_string(free_port());
    std::filesystem::create_directories(config);
    std::ofstream(config + "/settings.json")
        << "{\"dht-enabled\": false, \"lpd-enabled\": false, \"utp-enabled\": false,"
           " \"port-forwarding-enabled\": false, \"rpc-enabled\": false,"
           " \"bind-address-ipv4\": \"127.0.0.1\", \"bind-address-ipv6\": \"::1\","
           " \"peer-port\": "
        << free_port() << ", \"peer-port-random-on-start\": false}\n";
    return {"transmission-cli", "-M", "-g", config, "-w", folder, input};
  }

  std::vector<std::string> qbittorrent(const std::string& folder, const std::string& input,
                                       bool seeding) {
    const std::string profile = folder_.path() + "/qbittorrent-" + std::to_string(free_port());
    std::filesystem::create_directories(profile + "/qBittorrent/config");
    std::ofstream(profile + "/qBittorrent/config/qBittorrent.conf")
        << "[LegalNotice]\nAccepted=true\n"
           "[BitTorrent]\nSession\\DHTEnabled=false\nSession\\LSDEnabled=false\n"
           "Session\\PeXEnabled=true\nSession\\Port="
        << free_port()
        << "\nSession\\Interface=lo\nSession\\InterfaceName=lo\n"
           "Session\\QueueingSystemEnabled=false\nSession\\DefaultSavePath="
        << folder
        << "\n[Network]\nPortForwardingEnabled=false\n"
           "[Preferences]\nConnection\\UPnP=false\nConnection\\ResolvePeerCountries=false\n"
           "WebUI\\Enabled=false\nWebUI\\Address=127.0.0.1\nWebUI\\Port="
        << free_port() << "\nGeneral\\Locale=en\n";
    std::vector<std::string> args = {"qbittorrent-nox", "--profile=" + profile,
                                     "--save-path=" + folder};
    if (seeding) args.push_back("--skip-hash-check");
    args.push_back(input);
    return args;
  }

  std::string log(const std::string& name) const { return folder_.path() + "/" + name + ".log"; }

  TempFolder folder_;
  std::unique_ptr<service::DemoService> service_;
  std::string seeds_;
  SampleItem clip_;
  std::string magnet_;
  std::string binary_hash_;
};

TEST_F(Interop, Aria2FetchesFromTheTerminal) {
  if (!installed("aria2c")) GTEST_SKIP() << "aria2c is not installed";
  const auto seeder = seeding_terminal();
  ASSERT_TRUE(wait_for_swarm(1));
  const std::string got = folder_.path() + "/aria2-got";
  Client client(aria2(got, false), log("aria2"));
  EXPECT_TRUE(wait_for_file(got + "/" + clip_.name));
}

TEST_F(Interop, TheTerminalFetchesFromAria2) {
  if (!installed("aria2c")) GTEST_SKIP() << "aria2c is not installed";
  Client client(aria2(seeds_, true), log("aria2"));
  ASSERT_TRUE(wait_for_swarm(1));
  terminal_fetches_from_the_client();
}

// Transmission takes no peer at a loopback address from a tracker or peer exchange, so on
// loopback the terminal is the one that connects: it starts after Transmission has announced.
TEST_F(Interop, TransmissionFetchesFromTheTerminal) {
  if (!installed("transmission-cli")) GTEST_SKIP() << "transmission-cli is not installed";
  const std::string got = folder_.path() + "/transmission-got";
  Client client(transmission(got, magnet_), log("transmission"));
  ASSERT_TRUE(wait_for_swarm(1));
  const auto seeder = seeding_terminal();
  EXPECT_TRUE(wait_for_file(got + "/" + clip_.name));
}

TEST_F(Interop, TheTerminalFetchesFromTransmission) {
  if (!installed("transmission-cli")) GTEST_SKIP() << "transmission-cli is not installed";
  Client client(transmission(seeds_, folder_.path() + "/clip.torrent"), log("transmission"));
  ASSERT_TRUE(wait_for_swarm(1));
  terminal_fetches_from_the_client();
}

TEST_F(Interop, QBittorrentFetchesFromTheTerminal) {
  if (!installed("qbittorrent-nox")) GTEST_SKIP() << "qbittorrent-nox is not installed";
  const auto seeder = seeding_terminal();
  ASSERT_TRUE(wait_for_swarm(1));
  const std::string got = folder_.path() + "/qbittorrent-got";
  Client client(qbittorrent(got, magnet_, false), log("qbittorrent"));
  EXPECT_TRUE(wait_for_file(got + "/" + clip_.name));
}

TEST_F(Interop, TheTerminalFetchesFromQBittorrent) {
  if (!installed("qbittorrent-nox")) GTEST_SKIP() << "qbittorrent-nox is not installed";
  Client client(qbittorrent(seeds_, folder_.path() + "/clip.torrent", true), log("qbittorrent"));
  ASSERT_TRUE(wait_for_swarm(1));
  terminal_fetches_from_the_client();
}

}  // namespace
}  // namespace pelmora::testing
