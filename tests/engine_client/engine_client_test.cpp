// The program's side of the download engine: its address grammar, the terminal's status lines,
// and the client's conversation with a terminal's control interface on loopback.
#include "engine_client/engine_client.h"

#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "support/loopback_server.h"
#include "support/temp_folder.h"

namespace pelmora::platform::qt {
namespace {

using pelmora::testing::LoopbackServer;
using pelmora::testing::TempFolder;
using State = EngineStatus::State;

const std::string kHash = "0123456789abcdef0123456789ABCDEF01234567";

TEST(EngineAddressTest, TakesApartOnlyTheExactForm) {
  const auto parsed = parse_engine_address("qvod://5242880|" + kHash + "|第1集 a.mp4|");
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->size, 5242880u);
  EXPECT_EQ(parsed->hash, "0123456789abcdef0123456789abcdef01234567");
  EXPECT_EQ(parsed->name, "第1集 a.mp4");
  for (const std::string& bad : {
           "qvod://5242880|" + kHash + "|a.mp4",                // no closing bar
           "qvod://0|" + kHash + "|a.mp4|",                     // empty file
           "qvod://-5|" + kHash + "|a.mp4|",                    // signed
           "qvod://5 |" + kHash + "|a.mp4|",                    // not a number
           "qvod://99999999999999999999|" + kHash + "|a.mp4|",  // beyond any size
           "qvod://5|" + kHash.substr(1) + "|a.mp4|",           // 39 digits
           "qvod://5|" + kHash.substr(1) + "g|a.mp4|",          // not hex
           // The engine's own grammar: a NAME that cannot be a file name in the download folder.
           "qvod://5|" + kHash + "|../a.mp4|",
           "qvod://5|" + kHash + "|a/b.mp4|",
           "qvod://5|" + kHash + "|..|",
           "qvod://5|" + kHash + "|a\tb.mp4|",
           "qvod://5|" + kHash + "|" + std::string(256, 'a') + "|",
           "qvod://5|" + kHash + "||",     // no name
           "qvod://5|" + kHash + "|a|b|",  // a bar in the name
           "http://5|" + kHash + "|a.mp4|",
       }) {
    EXPECT_FALSE(parse_engine_address(bad)) << bad;
  }
}

TEST(EngineStatusTest, ReadsTheLinesAndKeepsNumbersInRange) {
  const EngineStatus status =
      parse_engine_status("state=downloading\r\npermille=602\r\nrate=1500\r\nerror=\r\nx=1\n");
  EXPECT_EQ(status.state, State::kDownloading);
  EXPECT_EQ(status.permille, 602);
  EXPECT_EQ(status.rate, 1500);
  EXPECT_EQ(status.error, "");
  const EngineStatus odd = parse_engine_status("state=sleeping\npermille=4000\nrate=-3\n");
  EXPECT_EQ(odd.state, State::kUnknown);
  EXPECT_EQ(odd.permille, 1000);
  EXPECT_EQ(odd.rate, 0);
  // An error text wins over whatever state came with it.
  EXPECT_EQ(parse_engine_status("state=connecting\nerror=no-source\n").state, State::kError);
}

// ---- The client against a terminal's control interface on loopback ----

void ensure_application() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "engine_client_tests";
  static char* argv[] = {name, nullptr};
  static auto* app = new QCoreApplication(argc, argv);
  (void)app;
}

template <typename Done>
bool run_until(Done done, int ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

// A terminal's control interface as the endpoint file announces it, recording what it is asked.
class TerminalStandIn {
 public:
  TerminalStandIn() {
    server.on("/tok/open", [this](const std::string&, const std::string& query) {
      remember("open?" + query);
      if (query.find("role=") == std::string::npos) return LoopbackServer::Reply{400, ""};
      if (query.find("broken") != std::string::npos) {
        return LoopbackServer::Reply{400, "error=bad-address\n"};
      }
      return LoopbackServer::Reply{200, server.base_url() + "stream/x1/a.mp4\n"};
    });
    server.on("/tok/status", [this](const std::string&, const std::string& query) {
      remember("status?" + query);
      return LoopbackServer::Reply{
          200,
          "state=downloading\npermille=" + std::to_string(permille.load()) + "\nrate=88\nerror=\n"};
    });
    server.on("/tok/close", [this](const std::string&, const std::string& query) {
      remember("close?" + query);
      return LoopbackServer::Reply{200, ""};
    });
  }
  // Writes the endpoint file as a terminal does once it listens.
  void announce() const { folder.write("pelmora-engine.endpoint", server.base_url() + "tok/\n"); }
  std::string endpoint_file() const { return folder.file("pelmora-engine.endpoint"); }
  std::vector<std::string> asked() {
    std::lock_guard lock(mutex);
    return requests;
  }
  void remember(std::string request) {
    std::lock_guard lock(mutex);
    requests.push_back(std::move(request));
  }

  TempFolder folder;
  std::atomic<int> permille{0};
  std::mutex mutex;
  std::vector<std::string> requests;
  // Last, so that it goes first: a request still being answered when the test ends uses the
  // members above.
  LoopbackServer server;
};

struct Answer {
  bool came = false;
  std::string stream;
  std::string error;
};

DownloadEngine::Opened into(Answer& answer) {
  return [&answer](const std::string& stream, const std::string& error) {
    answer = {true, stream, error};
  };
}

class EngineClientTest : public ::testing::Test {
 protected:
  void SetUp() override { ensure_application(); }
  EngineClient::Options options(int start_wait_ms = 5000) {
    EngineClient::Options o;
    o.endpoint_file = terminal.endpoint_file();
    o.start_wait_ms = start_wait_ms;
    o.poll_interval_ms = 50;
    return o;
  }
  TerminalStandIn terminal;
  const std::string address = "qvod://5242880|" + kHash + "|第1集 a&b.mp4|";
};

TEST_F(EngineClientTest, OpenWaitsForATerminalThatIsStartingThenPollsTheItemUntilClosed) {
  EngineClient client(options());
  Answer answer;
  client.open(address, DownloadEngine::Role::kPlay, into(answer));
  EXPECT_FALSE(answer.came);  // never answered from inside the call
  QTimer::singleShot(300, [&] { terminal.announce(); });
  ASSERT_TRUE(run_until([&] { return answer.came; }));
  EXPECT_EQ(answer.stream, terminal.server.base_url() + "stream/x1/a.mp4");
  EXPECT_EQ(answer.error, "");
  // The whole address travels percent-encoded as UTF-8 (the status polling may come first).
  const std::vector<std::string> asked_first = terminal.asked();
  EXPECT_NE(std::find(asked_first.begin(), asked_first.end(),
                      "open?address=qvod%3A%2F%2F5242880%7C" + kHash +
                          "%7C%E7%AC%AC1%E9%9B%86%20a%26b.mp4%7C&role=play"),
            asked_first.end());

  terminal.permille = 612;
  ASSERT_TRUE(run_until([&] { return client.status(address).permille == 612; }));
  EXPECT_EQ(client.status(address).state, State::kDownloading);
  EXPECT_EQ(client.status(address).rate, 88);
  const std::string lower = "0123456789abcdef0123456789abcdef01234567";
  EXPECT_EQ(terminal.asked().back(), "status?hash=" + lower);

  client.close(address);
  ASSERT_TRUE(run_until([&] {
    const std::vector<std::string> asked = terminal.asked();
    return std::find(asked.begin(), asked.end(), "close?hash=" + lower) != asked.end();
  }));
  run_until([] { return false; }, 200);  // a status question already on its way arrives
  const std::size_t asked = terminal.asked().size();
  run_until([] { return false; }, 300);
  EXPECT_EQ(terminal.asked().size(), asked);  // no more polling
  EXPECT_EQ(client.status(address).state, State::kUnknown);
}

TEST_F(EngineClientTest, ATerminalThatDoesNotShowUpIsStartedOnce) {
  EngineClient::Options o = options();
  int starts = 0;
  o.start_after_ms = 200;
  o.start_terminal = [&] {
    ++starts;
    QTimer::singleShot(100, [&] { terminal.announce(); });
  };
  EngineClient client(o);
  Answer first;
  Answer second;
  client.open(address, DownloadEngine::Role::kPlay, into(first));
  ASSERT_TRUE(run_until([&] { return first.came; }));
  EXPECT_EQ(first.error, "");
  EXPECT_EQ(starts, 1);
  client.open(address, DownloadEngine::Role::kPlay, into(second));
  ASSERT_TRUE(run_until([&] { return second.came; }));
  EXPECT_EQ(starts, 1);  // it answers now: nothing more to start
}

TEST_F(EngineClientTest, RefusalsAndAMissingTerminalAnswerWithTheirReason) {
  terminal.announce();
  EngineClient client(options(400));
  Answer malformed;
  client.open("qvod://12|zz|a.mp4|", DownloadEngine::Role::kPlay, into(malformed));
  Answer refused;
  client.open("qvod://12|" + kHash + "|broken.mp4|", DownloadEngine::Role::kNext, into(refused));
  ASSERT_TRUE(run_until([&] { return malformed.came && refused.came; }));
  EXPECT_EQ(malformed.error, "bad-address");
  EXPECT_EQ(refused.error, "bad-address");
  EXPECT_EQ(refused.stream, "");
  for (const std::string& request : terminal.asked()) {
    EXPECT_EQ(request.find("zz"), std::string::npos);  // the malformed one never left
  }
  const std::vector<std::string> asked = terminal.asked();
  EXPECT_NE(std::find(asked.begin(), asked.end(),
                      "open?address=qvod%3A%2F%2F12%7C" + kHash + "%7Cbroken.mp4%7C&role=next"),
            asked.end());

  // The terminal is gone (its endpoint names a port nobody listens on any more).
  terminal.folder.write("pelmora-engine.endpoint", "http://127.0.0.1:1/tok/\n");
  EngineClient late(options(400));
  Answer none;
  QElapsedTimer clock;
  clock.start();
  late.open(address, DownloadEngine::Role::kPlay, into(none));
  ASSERT_TRUE(run_until([&] { return none.came; }));
  EXPECT_EQ(none.error, "no-engine");
  EXPECT_LT(clock.elapsed(), 4000);
}

}  // namespace
}  // namespace pelmora::platform::qt
