#include "demo_service.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "support/temp_folder.h"
#include "torrent_maker.h"

namespace pelmora::service {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kMountains = "%u5C71%u6D77%u4E4B%u95F4";  // 山海之间 escaped
const std::string kClip = "0123456789abcdefghijklmnopqrstuvwxyz";

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

size_t count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// A running service whose media folder holds stand-in clips, next to a file that must never be
// served.
class DemoServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { start({}); }

  void start(ServiceOptions options) {
    if (service_) service_->stop();
    media_ = fs::path(root_.path()) / "media";
    fs::create_directories(media_ / "sub");
    write_file(media_ / "p101-s1-e01.mp4", kClip);
    write_file(media_ / "p101-s1-e02.mp4", kClip + "2");
    write_file(media_ / "p101-s1-e03.mp4", kClip + kClip);
    write_file(media_ / "p103-s1-e01.webm", "webm");
    write_file(media_ / "sub" / "inner.mp4", "inner");
    write_file(fs::path(root_.path()) / "secret.txt", "SECRET");
    options.media_folder = media_;
    service_ = std::make_unique<DemoService>(std::move(options));
    ASSERT_TRUE(service_->start());
  }

  httplib::Result get(const std::string& target, const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", service_->port());
    client.set_read_timeout(std::chrono::seconds(10));
    return client.Get(target.c_str(), headers);
  }

  std::string body(const std::string& target) {
    auto res = get(target);
    return res ? res->body : "<no answer>";
  }

  int status(const std::string& target) {
    auto res = get(target);
    return res ? res->status : -1;
  }

  std::string port() const { return std::to_string(service_->port()); }

  testing::TempFolder root_;
  fs::path media_;
  std::unique_ptr<DemoService> service_;
};

TEST_F(DemoServiceTest, HomeListsEveryEpisodeAsASearchLinkWithTheEscapedName) {
  auto res = get("/");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
  const std::string& page = res->body;
  EXPECT_NE(page.find("href=\"razavov://101-1-1-" + kMountains + "\""), std::string::npos);
  EXPECT_NE(page.find("href=\"razavov://101-1-3-" + kMountains + "\""), std::string::npos);
  EXPECT_NE(page.find("href=\"razavov://102-2-2-%u661F%u591C%u5217%u8F66\""), std::string::npos);
  EXPECT_NE(page.find("href=\"razavov://103-1-3-Harbour%20Lights\""), std::string::npos);
  EXPECT_EQ(count(page, "href=\"razavov://"), 12u);  // every episode of every source once
  EXPECT_NE(page.find("<svg"), std::string::npos);
  EXPECT_NE(page.find("#212121"), std::string::npos);
}

TEST_F(DemoServiceTest, HomeSaysWhenTheClipsHaveNotBeenMade) {
  EXPECT_EQ(body("/").find("make-demo-media.sh"), std::string::npos);
  fs::remove(media_ / "p101-s1-e01.mp4");
  EXPECT_NE(body("/").find("make-demo-media.sh"), std::string::npos);
  fs::remove_all(media_);
  EXPECT_EQ(status("/"), 200);  // the pages are served without any media folder
}

TEST_F(DemoServiceTest, ResourceRequestAnswersThePlayRecordOfAnEpisode) {
  // The player's episodes are named for the download engine: size, torrent hash, file name.
  const auto torrent = torrent::make_torrent(media_ / "p101-s1-e01.mp4", "p101-s1-e01.mp4");
  ASSERT_TRUE(torrent);
  auto res = get("/h.asp?id=101&v=1&v1=1");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_EQ(res->body, "%u7B2C1%u96C6$qvod://36|" + torrent->info_hash + "|p101-s1-e01.mp4|$qvod");
  EXPECT_EQ(body("/h.asp?id=101&v=1&v1=1"), res->body);
  // Without its clip an engine episode has nothing to name.
  EXPECT_EQ(body("/h.asp?id=102&v=1&v1=1"), "1");
  EXPECT_EQ(body("/h.asp?id=102&v=2&v1=1"),
            "%u7B2C1%u96C6$http://127.0.0.1:" + port() + "/media/p102-s2-e01.webm$html5");
  EXPECT_EQ(body("/h.asp?id=103&v=1&v1=3"),
            "Episode%203$http://127.0.0.1:" + port() + "/media/p103-s1-e03.webm$html5");
}

TEST_F(DemoServiceTest, ResourceRequestAnswersOneForUnknownOrMalformedEpisodes) {
  for (const char* query : {"id=999&v=1&v1=1",
                            "id=101&v=3&v1=1",
                            "id=101&v=1&v1=0",
                            "id=101&v=1&v1=4",
                            "",
                            "id=101",
                            "id=101&v=1",
                            "id=abc&v=1&v1=1",
                            "id=101&v=1&v1=1x",
                            "id=101&v=1&v1=-1",
                            "id=101&v=1&v1=+1",
                            "id=101&id=102&v=1&v1=1",
                            "id=101&v&v1=1",
                            "id=&v=1&v1=1",
                            "id=99999999999&v=1&v1=1",
                            "id=101&v=1&v1=%31",
                            "v1=1&v=1&id=101%00",
                            "id=101&v=1&v1=1&v1=2",
                            "%%%&&&===",
                            "id=101$v=1$v1=1"}) {
    auto res = get(std::string("/h.asp?") + query);
    ASSERT_TRUE(res) << query;
    EXPECT_EQ(res->status, 200) << query;
    EXPECT_EQ(res->body, "1") << query;
  }
  // Fields in another order, and an extra argument, are still a well-formed request.
  EXPECT_NE(body("/h.asp?v1=1&v=1&id=101&_=5"), "1");
}

TEST_F(DemoServiceTest, RecordsEveryResourceRequestWithItsReply) {
  get("/h.asp?id=101&v=1&v1=1");
  get("/h.asp?id=5&v=1&v1=1");
  const auto seen = service_->seen().resource_requests;
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].query, "id=101&v=1&v1=1");
  EXPECT_NE(seen[0].reply.find("$qvod"), std::string::npos);
  EXPECT_EQ(seen[1].query, "id=5&v=1&v1=1");
  EXPECT_EQ(seen[1].reply, "1");
  const std::string json = body("/_demo/seen");
  EXPECT_NE(json.find("{\"query\":\"id=5&v=1&v1=1\",\"reply\":\"1\"}"), std::string::npos);
  service_->clear_seen();
  EXPECT_TRUE(service_->seen().resource_requests.empty());
}

TEST_F(DemoServiceTest, FailureModesApplyToEveryEpisodeOrToOne) {
  struct Case {
    ReplyFailure mode;
    int status;
    std::string body;
  };
  const Case cases[] = {{ReplyFailure::zero, 200, "0"},
                        {ReplyFailure::one, 200, "1"},
                        {ReplyFailure::empty, 200, ""},
                        {ReplyFailure::garbage, 200, std::string(kGarbageReply)},
                        {ReplyFailure::server_error, 500, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(failure_name(c.mode)));
    service_->set_failure(c.mode);
    for (const char* target : {"/h.asp?id=101&v=1&v1=1", "/h.asp?id=999&v=1&v1=1", "/h.asp?x"}) {
      auto res = get(target);
      ASSERT_TRUE(res);
      EXPECT_EQ(res->status, c.status);
      if (c.status == 200) {
        EXPECT_EQ(res->body, c.body);
      }
    }
    service_->set_failure(c.mode, EpisodeRef{101, 1, 2});
    auto hit = get("/h.asp?id=101&v=1&v1=2");
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->status, c.status);
    if (c.status == 200) {
      EXPECT_EQ(hit->body, c.body);
    }
    EXPECT_NE(body("/h.asp?id=101&v=1&v1=1").find("$qvod"), std::string::npos);
    EXPECT_NE(body("/h.asp?id=101&v=1&v1=3").find("$qvod"), std::string::npos);
  }
  service_->clear_failures();
  EXPECT_NE(body("/h.asp?id=101&v=1&v1=2").find("$qvod"), std::string::npos);
}

TEST_F(DemoServiceTest, AnEpisodeRuleWinsOverARuleForAll) {
  ServiceOptions options;
  options.failures = {*parse_failure_rule("0"), *parse_failure_rule("garbage:101-1-3")};
  start(options);
  EXPECT_EQ(body("/h.asp?id=101&v=1&v1=1"), "0");
  EXPECT_EQ(body("/h.asp?id=101&v=1&v1=3"), kGarbageReply);
}

TEST_F(DemoServiceTest, AHangingRequestOutlastsTheClientTimeOutAndEndsWhenTheServiceStops) {
  service_->set_failure(ReplyFailure::hang, EpisodeRef{101, 1, 2});
  httplib::Client client("127.0.0.1", service_->port());
  client.set_read_timeout(std::chrono::milliseconds(300));
  const auto asked = Clock::now();
  auto res = client.Get("/h.asp?id=101&v=1&v1=2");
  EXPECT_FALSE(res);
  EXPECT_EQ(res.error(), httplib::Error::Read);
  EXPECT_LT(Clock::now() - asked, std::chrono::seconds(5));
  EXPECT_EQ(body("/h.asp?id=101&v=1&v1=1").substr(0, 7), "%u7B2C1");  // others still answer

  // A client that waits longer is still hanging when the service stops.
  std::thread patient([port = service_->port()] {
    httplib::Client slow("127.0.0.1", port);
    slow.set_read_timeout(std::chrono::seconds(60));
    auto late = slow.Get("/h.asp?id=101&v=1&v1=2");
    EXPECT_TRUE(!late || late->status == 503);
  });
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  while (service_->seen().resource_requests.size() < 3 && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(service_->seen().resource_requests.back().reply, "(hang)");
  const auto stopping = Clock::now();
  service_->stop();
  EXPECT_LT(Clock::now() - stopping, std::chrono::seconds(3));
  patient.join();
}

TEST_F(DemoServiceTest, AHangEndsWithTheNormalReplyAfterTheHangTime) {
  ServiceOptions options;
  options.failures = {*parse_failure_rule("hang")};
  options.hang_time = std::chrono::milliseconds(200);
  start(options);
  EXPECT_EQ(body("/h.asp?id=101&v=1&v1=1").substr(0, 7), "%u7B2C1");
}

TEST_F(DemoServiceTest, EpisodeListMarksTheCurrentEpisodeAndOpensNothingWithZero) {
  auto res = get("/pp.htm?101-1-2-" + kMountains + "-0");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  const std::string& page = res->body;
  EXPECT_NE(page.find("<a href=\"razavov://101-1-2-" + kMountains + "\" class=\"current\""),
            std::string::npos);
  // Read alone, the link names its series and source.
  EXPECT_NE(page.find("aria-label=\"山海之间 第2集，来源 1 · 高清，正在播放\""), std::string::npos);
  EXPECT_EQ(count(page, "class=\"current\""), 1u);
  EXPECT_EQ(count(page, "href=\"razavov://101-"), 3u);
  EXPECT_EQ(page.find("location.href"), std::string::npos);
}

TEST_F(DemoServiceTest, EpisodeListOpensTheAskedEpisodeOfTheCurrentSource) {
  const std::string page = body("/pp.htm?101-1-2-" + kMountains + "-13");
  EXPECT_NE(page.find("location.href=\"razavov://101-1-3-" + kMountains + "\""), std::string::npos);
  // Source 2, episode 2: "22". Source 1 with "13" of a programme whose source is 1: episode 3.
  const std::string other = body("/pp.htm?102-2-1-%u661F%u591C%u5217%u8F66-22");
  EXPECT_NE(other.find("location.href=\"razavov://102-2-2-%u661F%u591C%u5217%u8F66\""),
            std::string::npos);
  EXPECT_EQ(count(other, "<a href=\"razavov://102-"), 6u);  // both sources listed
}

TEST_F(DemoServiceTest, EpisodeListOpensNothingPastTheLastEpisodeOrForAnotherSource) {
  for (const std::string open : {"14", "10", "1", "23", "1x", "", "00"}) {
    const std::string page = body("/pp.htm?101-1-3-" + kMountains + "-" + open);
    EXPECT_EQ(page.find("location.href"), std::string::npos) << open;
    EXPECT_NE(page.find("<h1>山海之间</h1>"), std::string::npos) << open;
  }
}

TEST_F(DemoServiceTest, EpisodeListOfAnUnknownOrMalformedProgrammeIsNotFound) {
  for (const char* query : {"999-1-1-abc-0", "101-1-1", "", "abc-1-1-x-0", "101-1-x-abc-0"}) {
    EXPECT_EQ(status(std::string("/pp.htm?") + query), 404) << query;
  }
}

TEST_F(DemoServiceTest, WebPlayerPlaysTheUnescapedAddressAndGoesToTheEndMarker) {
  const std::string address = "http%3A//127.0.0.1%3A" + port() + "/media/p103-s1-e01.webm";
  const std::string page = body("/play.htm?html5$$$" + address);
  EXPECT_NE(
      page.find("<video id=\"v\" src=\"http://127.0.0.1:" + port() + "/media/p103-s1-e01.webm\""),
      std::string::npos);
  EXPECT_NE(page.find("'ended',function(){location.href=\"http://pelmora-end.invalid/\";}"),
            std::string::npos);

  ServiceOptions options;
  options.end_marker = "http://end.invalid/x";
  start(options);
  EXPECT_NE(body("/play.htm?html5$$$" + address).find("location.href=\"http://end.invalid/x\""),
            std::string::npos);
}

TEST_F(DemoServiceTest, WebPlayerRefusesAddressesThatAreNotWebAddresses) {
  for (const char* query : {"html5$$$javascript%3Aalert%281%29", "html5$$$", "$$$http%3A//a/b",
                            "html5", "html5$$$file%3A///etc/passwd", "ht%22ml$$$http%3A//a/b"}) {
    auto res = get(std::string("/play.htm?") + query);
    ASSERT_TRUE(res) << query;
    EXPECT_EQ(res->status, 400) << query;
    EXPECT_EQ(res->body.find("<video"), std::string::npos) << query;
  }
  // Markup in an address stays text.
  const std::string page =
      body("/play.htm?html5$$$http%3A//a/%22%3E%3Cscript%3Ex%28%29%3C/script%3E");
  EXPECT_EQ(page.find("<script>x()"), std::string::npos);
  EXPECT_NE(page.find("src=\"http://a/&quot;&gt;&lt;script&gt;"), std::string::npos);
}

TEST_F(DemoServiceTest, SearchFindsNamesInEveryEncodingTheWordMayArriveIn) {
  struct Case {
    const char* target;
    const char* word;
    size_t found;
  };
  const Case cases[] = {
      {"/search.asp?searchword=%E5%B1%B1%E6%B5%B7", "山海", 3},  // browser UTF-8
      {"/search.asp?searchword=%u5C71%u6D77", "山海", 3},        // the client's escape form
      {"/search.asp?searchword=%u5C71%E6%B5%B7", "山海", 3},     // a mix
      {"/search.asp?searchword=harbour", "harbour", 3},
      {"/search.asp?searchword=%20Harbour%20Lights%20", " Harbour Lights ", 3},
      {"/search.asp?searchword=%E5%88%97", "列", 6},
      {"/search.asp?searchword=%FF%FE", "\u00FF\u00FE", 0},  // not UTF-8: read as characters
      {"/search.asp?searchword=nothing", "nothing", 0},
      {"/search.asp?searchword=", "", 0},
      {"/search.asp", "", 0},
  };
  for (const Case& c : cases) {
    auto res = get(c.target);
    ASSERT_TRUE(res) << c.target;
    EXPECT_EQ(res->status, 200) << c.target;
    EXPECT_EQ(count(res->body, "href=\"razavov://"), c.found) << c.target;
    EXPECT_EQ(service_->seen().searches.back(), c.word) << c.target;
  }
}

TEST_F(DemoServiceTest, SearchAcceptsARawUtf8WordAndEscapesItInThePage) {
  httplib::Client client("127.0.0.1", service_->port());
  client.set_url_encode(false);
  auto res = client.Get("/search.asp?searchword=星夜");
  ASSERT_TRUE(res);
  EXPECT_EQ(count(res->body, "href=\"razavov://102-"), 6u);
  const std::string page = body("/search.asp?searchword=%3Cb%3E");
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_NE(page.find("&lt;b&gt;"), std::string::npos);
}

TEST_F(DemoServiceTest, ServesThePanePagesAndPromotionPages) {
  for (const char* target : {"/tv", "/tv/", "/tv/mp3.htm", "/novels/", "/novels", "/apps/",
                             "/player/", "/about/", "/js/ads/qvodad.html", "/js/ads/fudong.html",
                             "/js/ads/tui.html", "/update/setup.exe", "/update/update.exe"}) {
    auto res = get(target);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 200) << target;
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8") << target;
    EXPECT_NE(res->body.find("background:#212121"), std::string::npos) << target;
    EXPECT_NE(res->body.find("<meta charset=\"utf-8\">"), std::string::npos) << target;
  }
}

// The TV and music pages play in their own pane, which follows no link of the client's schemes:
// every channel and track is a page of the service with the clip in an HTML5 element.
TEST_F(DemoServiceTest, ChannelsAndTracksArePagesThatPlayAWebClip) {
  const std::string tv = body("/tv");
  EXPECT_EQ(tv.find("razavov://"), std::string::npos);
  EXPECT_EQ(count(tv, "href=\"/tv/live.htm?c="), 5u);  // every episode of the web sources
  const std::string channel = body("/tv/live.htm?c=3");
  EXPECT_NE(channel.find("<video id=\"m\" src=\"/media/p103-s1-e01.webm\" autoplay loop"),
            std::string::npos)
      << channel;
  const std::string music = body("/tv/mp3.htm");
  EXPECT_EQ(count(music, "href=\"/tv/song.htm?t="), 3u);
  EXPECT_NE(body("/tv/song.htm?t=1").find("<audio id=\"m\" src=\"/media/p102-s2-e01.webm\""),
            std::string::npos);
  for (const char* target :
       {"/tv/live.htm?c=0", "/tv/live.htm?c=6", "/tv/live.htm?c=x", "/tv/live.htm",
        "/tv/live.htm?c=99999999999", "/tv/song.htm?t=4", "/tv/song.htm?t=-1"}) {
    auto res = get(target);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 404) << target;
  }
}

TEST_F(DemoServiceTest, UpdateFileCarriesTheFourFields) {
  auto res = get("/lib/wen.txt");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, "0====0====0====3.0\r\n");
  EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain; charset=utf-8");
  service_->set_update_fields({"1", "1", "0", "3.1"});
  EXPECT_EQ(body("/lib/wen.txt"), "1====1====0====3.1\r\n");
  ServiceOptions options;
  options.update = {"0", "1", "1", "2.9"};
  start(options);
  EXPECT_EQ(body("/lib/wen.txt"), "0====1====1====2.9\r\n");
  EXPECT_FALSE(usable_update_field("3.0\r\n"));
  EXPECT_FALSE(usable_update_field("1====2"));
  EXPECT_TRUE(usable_update_field("3.1"));
}

TEST_F(DemoServiceTest, RecordsEveryStatisticsPing) {
  EXPECT_EQ(status("/tj/tj.asp?id=00-1A-2B-3C-4D-5E"), 200);
  EXPECT_EQ(status("/tj/tj.asp?id=202612703638523"), 200);
  EXPECT_EQ(status("/tj/tj.asp?id=00-1A-2B-3C-4D-5E"), 200);
  EXPECT_EQ(status("/tj/tj.asp"), 200);
  const auto pings = service_->seen().pings;
  EXPECT_EQ(pings, (std::vector<std::string>{"00-1A-2B-3C-4D-5E", "202612703638523",
                                             "00-1A-2B-3C-4D-5E", ""}));
  auto res = get("/_demo/seen");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=utf-8");
  EXPECT_NE(res->body.find("\"pings\":[\"00-1A-2B-3C-4D-5E\",\"202612703638523\""),
            std::string::npos);
}

TEST_F(DemoServiceTest, SeenListIsValidJsonWhateverArrived) {
  get("/tj/tj.asp?id=%22%5C%0A%FF");
  const std::string json = body("/_demo/seen");
  EXPECT_NE(json.find("\"pings\":[\"\\\"\\\\\\u000A\u00FF\"]"), std::string::npos) << json;
}

TEST_F(DemoServiceTest, ServesMediaWholeAndByRange) {
  EXPECT_EQ(get("/qvod/p101-s1-e01.mp4")->body, get("/media/p101-s1-e01.mp4")->body);
  auto whole = get("/media/p101-s1-e01.mp4");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->status, 200);
  EXPECT_EQ(whole->body, kClip);
  EXPECT_EQ(whole->get_header_value("Content-Type"), "video/mp4");
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");

  auto part = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=10-19"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, kClip.substr(10, 10));
  EXPECT_EQ(part->get_header_value("Content-Range"), "bytes 10-19/" + std::to_string(kClip.size()));

  auto tail = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=30-"}});
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->status, 206);
  EXPECT_EQ(tail->body, kClip.substr(30));

  auto last = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=-4"}});
  ASSERT_TRUE(last);
  EXPECT_EQ(last->status, 206);
  EXPECT_EQ(last->body, kClip.substr(kClip.size() - 4));

  // A last byte past the end is cut to the end; a first byte past it cannot be served.
  auto overlong = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=30-5000"}});
  ASSERT_TRUE(overlong);
  EXPECT_EQ(overlong->status, 206);
  EXPECT_EQ(overlong->body, kClip.substr(30));
  EXPECT_EQ(overlong->get_header_value("Content-Range"), "bytes 30-35/36");
  auto beyond = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=500-600"}});
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->status, 416);
  EXPECT_EQ(beyond->get_header_value("Content-Range"), "bytes */36");
  auto several = get("/media/p101-s1-e01.mp4", {{"Range", "bytes=0-1,5-6"}});
  ASSERT_TRUE(several);
  EXPECT_EQ(several->status, 200);
  EXPECT_EQ(several->body, kClip);

  EXPECT_EQ(get("/media/p103-s1-e01.webm")->get_header_value("Content-Type"), "video/webm");
  EXPECT_EQ(body("/media/sub/inner.mp4"), "inner");
  EXPECT_EQ(status("/media/p101-s1-e09.mp4"), 404);
  EXPECT_EQ(status("/media/sub"), 404);
  EXPECT_EQ(status("/media/"), 404);
}

TEST_F(DemoServiceTest, NeverServesAFileOutsideTheMediaFolder) {
  fs::create_symlink(fs::path(root_.path()) / "secret.txt", media_ / "leak.mp4");
  fs::create_directory_symlink(fs::path(root_.path()), media_ / "up");
  fs::create_symlink(media_ / "p101-s1-e01.mp4", media_ / "alias.mp4");
  for (const char* target :
       {"/media/../secret.txt", "/media/%2e%2e/secret.txt", "/media/..%2fsecret.txt",
        "/media/%2E%2E%2Fsecret.txt", "/media/sub/../../secret.txt",
        "/media/%2F"
        "etc%2Fpasswd",
        "/media//etc/passwd", "/media/leak.mp4", "/media/up/secret.txt", "/media/..",
        "/media/.%2e/secret.txt", "/media/..%5Csecret.txt", "/media/sub/%2e%2e/p101-s1-e01.mp4",
        "/media/p101-s1-e01.mp4%00.txt"}) {
    auto res = get(target);
    ASSERT_TRUE(res) << target;
    EXPECT_TRUE(res->status == 403 || res->status == 404) << target << " " << res->status;
    EXPECT_EQ(res->body.find("SECRET"), std::string::npos) << target;
    EXPECT_EQ(res->body.find("root:"), std::string::npos) << target;
  }
  EXPECT_EQ(status("/media/leak.mp4"), 403);
  EXPECT_EQ(body("/media/alias.mp4"), kClip);  // a link that stays inside is fine
}

TEST_F(DemoServiceTest, UnknownPathsAreNotFound) {
  for (const char* target : {"/nothing", "/h.asp/x", "/pp.html", "/tv/other.htm", "/lib/",
                             "/js/ads/", "/favicon.ico", "/_demo", "/media"}) {
    auto res = get(target);
    ASSERT_TRUE(res) << target;
    EXPECT_EQ(res->status, 404) << target;
    EXPECT_NE(res->body.find("#212121"), std::string::npos) << target;
  }
}

TEST_F(DemoServiceTest, ServesOnceAndNotOnABusyPort) {
  EXPECT_EQ(service_->base_url(), "http://127.0.0.1:" + port() + "/");
  DemoService second({});
  EXPECT_FALSE(second.start(service_->port()));
  EXPECT_FALSE(service_->start());  // one object serves once
}

}  // namespace
}  // namespace pelmora::service
