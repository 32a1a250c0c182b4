// The demo service as the player engine's source: metadata, tracker and web seed over HTTP.
#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "demo_service.h"
#include "support/temp_folder.h"
#include "torrent_maker.h"

namespace pelmora::service {
namespace {

namespace fs = std::filesystem;

class EngineSources : public ::testing::Test {
 protected:
  void SetUp() override {
    media_ = fs::path(root_.path()) / "media";
    fs::create_directories(media_);
    clip_.assign(300 * 1024, '\0');
    for (std::size_t i = 0; i < clip_.size(); ++i) clip_[i] = static_cast<char>(i % 251);
    std::ofstream(media_ / "p101-s1-e01.mp4", std::ios::binary) << clip_;
    std::ofstream(fs::path(root_.path()) / "outside.mp4") << "outside";
    fs::create_symlink(fs::path(root_.path()) / "outside.mp4", media_ / "link.mp4");
    ServiceOptions options;
    options.media_folder = media_;
    service_ = std::make_unique<DemoService>(std::move(options));
    ASSERT_TRUE(service_->start());
  }

  httplib::Result get(const std::string& target, const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", service_->port());
    return client.Get(target.c_str(), headers);
  }

  testing::TempFolder root_;
  fs::path media_;
  std::string clip_;
  std::unique_ptr<DemoService> service_;
};

// The .torrent is the shared maker's, found by its info-hash in either case; files the web seed
// would not serve have none.
TEST_F(EngineSources, ServesTheMakersTorrentByInfoHash) {
  const auto made = torrent::make_torrent(media_ / "p101-s1-e01.mp4", "p101-s1-e01.mp4");
  ASSERT_TRUE(made);
  const auto entry = service_->torrent_entry("p101-s1-e01.mp4");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->hash, made->info_hash);
  EXPECT_EQ(entry->size, clip_.size());
  std::string upper = made->info_hash;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const std::string& hash : {made->info_hash, upper}) {
    auto res = get("/torrents/" + hash + ".torrent");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body, made->torrent);
  }
  EXPECT_EQ(get("/torrents/" + std::string(40, '0') + ".torrent")->status, 404);
  EXPECT_FALSE(service_->torrent_entry("link.mp4"));
}

// The corrupting web seed changes what "qvod/" sends, not what "media/" sends, and can be
// switched off again.
TEST_F(EngineSources, CorruptingWebSeedSendsWrongBytesOnlyWhileOn) {
  const httplib::Headers range = {{"Range", "bytes=16000-40000"}};
  EXPECT_EQ(get("/qvod/p101-s1-e01.mp4", range)->body, clip_.substr(16000, 24001));
  service_->set_web_seed_corrupt(true);
  const auto bad = get("/qvod/p101-s1-e01.mp4", range);
  EXPECT_EQ(bad->status, 206);
  EXPECT_EQ(bad->body.size(), 24001u);
  EXPECT_NE(bad->body, clip_.substr(16000, 24001));
  EXPECT_EQ(get("/media/p101-s1-e01.mp4", range)->body, clip_.substr(16000, 24001));
  service_->set_web_seed_corrupt(false);
  EXPECT_EQ(get("/qvod/p101-s1-e01.mp4")->body, clip_);
}

// The tracker answers over HTTP with the peers of the same info-hash.
TEST_F(EngineSources, TrackerAnswersAnnounces) {
  const std::string hash = "%AA%BB%CC%DD%EE%FF%00%11%22%33%44%55%66%77%88%99%AA%BB%CC%DD";
  EXPECT_EQ(get("/announce?info_hash=" + hash + "&port=7001&compact=1")->status, 200);
  const auto res = get("/announce?info_hash=" + hash + "&port=7002&compact=1");
  EXPECT_NE(res->body.find(std::string("5:peers6:\x7f\0\0\x01\x1b\x59", 14)), std::string::npos);
}

}  // namespace
}  // namespace pelmora::service
