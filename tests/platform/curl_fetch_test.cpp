#include "platform/curl/curl_fetch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_server.h"

namespace pelmora::platform {
namespace {

using pelmora::testing::LoopbackServer;

TEST(CurlFetch, ReturnsTheBodyOfASuccessfulAnswer) {
  LoopbackServer server;
  server.on("/h.asp", [](const std::string&, const std::string& query) {
    return LoopbackServer::Reply{200, "query=" + query};
  });
  CurlFetch fetch(5000, 15000);
  EXPECT_EQ(fetch.fetch_text(server.base_url() + "h.asp?id=12&v=2&v1=%u4E2D"),
            "query=id=12&v=2&v1=%u4E2D");
  EXPECT_FALSE(fetch.busy());
}

TEST(CurlFetch, EveryFailureGivesTheEmptyText) {
  LoopbackServer server;
  server.on("/500", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{500, "server error page"};
  });
  CurlFetch fetch(2000, 5000);
  EXPECT_EQ(fetch.fetch_text(server.base_url() + "500"), "");
  EXPECT_EQ(fetch.fetch_text(server.base_url() + "missing"), "");
  EXPECT_EQ(fetch.fetch_text("not an address"), "");
  EXPECT_EQ(fetch.fetch_text("file:///etc/passwd"), "");  // only http and https
  // A port nobody listens on: the server's own port once it has stopped.
  std::string closed;
  {
    LoopbackServer gone;
    closed = gone.base_url();
  }
  EXPECT_EQ(fetch.fetch_text(closed), "");
}

TEST(CurlFetch, AHungServiceCostsAtMostTheTimeOut) {
  LoopbackServer server;
  server.on("/hang", [](const std::string&, const std::string&) {
    return LoopbackServer::Reply{200, "too late", "text/plain", 10000};
  });
  CurlFetch fetch(1000, 400);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetch.fetch_text(server.base_url() + "hang"), "");
  // Generous bound: the point is that it returns long before the service answers.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace pelmora::platform
