#include "platform/curl/curl_fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "platform/headless/headless_backend.h"
#include "support/loopback_server.h"

namespace pelmora::platform {
namespace {

using namespace std::chrono_literals;
using pelmora::testing::LoopbackServer;
using Clock = std::chrono::steady_clock;

// A fetch whose replies queue up on a headless event loop that the test runs.
class CurlFetchTest : public ::testing::Test {
 protected:
  CurlFetch make(long connect_ms, long total_ms) {
    return CurlFetch([this](std::function<void()> task) { loop.post(std::move(task)); }, connect_ms,
                     total_ms);
  }
  // Starts a request whose body lands in `bodies` under `name`.
  HttpFetch::RequestId ask(HttpFetch& fetch, const std::string& name, const std::string& url) {
    return fetch.start(url, [this, name](std::string body) {
      bodies[name] = std::move(body);
      order.push_back(name);
    });
  }
  // Runs the event loop until the fetch is idle.
  void settle(HttpFetch& fetch, std::chrono::milliseconds limit = 5s) {
    const auto deadline = Clock::now() + limit;
    while (fetch.busy() && Clock::now() < deadline) {
      loop.wait_for_posted(50ms);
      loop.run_posted();
    }
    ASSERT_FALSE(fetch.busy());
  }

  headless::HeadlessBackend loop;
  LoopbackServer server;
  std::map<std::string, std::string> bodies;
  std::vector<std::string> order;
};

TEST_F(CurlFetchTest, TheReplyArrivesLaterOnTheEventLoopWithTheBody) {
  server.on("/h.asp", [](const std::string&, const std::string& query) {
    return LoopbackServer::Reply{200, "query=" + query};
  });
  CurlFetch fetch = make(5000, 15000);
  const auto id = ask(fetch, "a", server.base_url() + "h.asp?id=12&v=2&v1=%u4E2D");
  EXPECT_NE(id, 0u);
  EXPECT_TRUE(fetch.pending(id));
  EXPECT_TRUE(fetch.busy());
  EXPECT_TRUE(bodies.empty());  // never inside start
  // Nothing runs until the event loop runs, however long the answer has been there.
  ASSERT_TRUE(loop.wait_for_posted(5s));
  EXPECT_TRUE(bodies.empty());
  settle(fetch);
  EXPECT_EQ(bodies["a"], "query=id=12&v=2&v1=%u4E2D");
  EXPECT_FALSE(fetch.pending(id));
}

TEST_F(CurlFetchTest, EveryFailureGivesTheEmptyText) {
  server.on("/500", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{500, "server error page"};
  });
  std::string closed;
  {
    LoopbackServer gone;  // a port nobody listens on once it has stopped
    closed = gone.base_url();
  }
  CurlFetch fetch = make(2000, 5000);
  ask(fetch, "500", server.base_url() + "500");
  ask(fetch, "404", server.base_url() + "missing");
  ask(fetch, "bad", "not an address");
  ask(fetch, "file", "file:///etc/passwd");  // only http and https
  ask(fetch, "closed", closed);
  settle(fetch);
  ASSERT_EQ(bodies.size(), 5u);
  for (const auto& [name, body] : bodies) EXPECT_EQ(body, "") << name;
}

TEST_F(CurlFetchTest, AHungOrDrippingServiceEndsAtTheTimeOutWithoutHoldingUpOthers) {
  server.on("/hang", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{200, "too late", "text/plain", 10000};
  });
  server.on("/drip", [](const std::string&, const std::string&) {
    LoopbackServer::Reply reply{200, "one byte a second"};
    reply.drip_ms = 1000;
    return reply;
  });
  server.on("/quick", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{200, "here"};
  });
  CurlFetch fetch = make(1000, 600);
  const auto start = Clock::now();
  ask(fetch, "hang", server.base_url() + "hang");
  ask(fetch, "drip", server.base_url() + "drip");
  ask(fetch, "quick", server.base_url() + "quick");
  settle(fetch);
  EXPECT_LT(Clock::now() - start, 4s);
  EXPECT_EQ(order.front(), "quick");
  EXPECT_EQ(bodies["hang"], "");
  EXPECT_EQ(bodies["drip"], "");
  EXPECT_EQ(bodies["quick"], "here");
}

TEST_F(CurlFetchTest, ACancelledRequestNeverRepliesAndTheFetchCanGoWhileRequestsHang) {
  server.on("/late", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{200, "late", "text/plain", 300};
  });
  server.on("/hang", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{200, "never", "text/plain", 10000};
  });
  auto fetch = std::make_unique<CurlFetch>(
      [this](std::function<void()> task) { loop.post(std::move(task)); }, 1000, 5000);
  const auto cancelled = ask(*fetch, "cancelled", server.base_url() + "late");
  ask(*fetch, "kept", server.base_url() + "late");
  fetch->cancel(cancelled);
  EXPECT_FALSE(fetch->pending(cancelled));
  settle(*fetch);
  EXPECT_EQ(order, std::vector<std::string>{"kept"});

  ask(*fetch, "hang", server.base_url() + "hang");
  fetch->cancel_all();
  EXPECT_FALSE(fetch->busy());
  // Destroyed with a request under way: it goes at once, and the reply never runs.
  ask(*fetch, "hang at the end", server.base_url() + "hang");
  const auto start = Clock::now();
  fetch.reset();
  EXPECT_LT(Clock::now() - start, 2s);
  loop.wait_for_posted(200ms);
  loop.run_posted();
  EXPECT_EQ(order, std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace pelmora::platform
