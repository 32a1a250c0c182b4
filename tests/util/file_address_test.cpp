#include "util/file_address.h"

#include <gtest/gtest.h>

namespace pelmora::text {
namespace {

TEST(LocalFileOf, DecodesTheAddressesTheDesktopHandsOver) {
  EXPECT_EQ(local_file_of("file:///home/a/b%20c.mp4"), "/home/a/b c.mp4");
  EXPECT_EQ(local_file_of("FILE://localhost/tmp/x.mkv"), "/tmp/x.mkv");
  // UTF-8 names come out byte for byte.
  EXPECT_EQ(local_file_of("file:///v/%E7%94%B5%E5%BD%B1.rmvb"), "/v/电影.rmvb");
  EXPECT_EQ(local_file_of("file:///v/a.mp4#t=10"), "/v/a.mp4");
  EXPECT_EQ(local_file_of("file:///v/100%25.mp4"), "/v/100%.mp4");
}

TEST(LocalFileOf, RefusesWhatIsNoLocalFile) {
  EXPECT_EQ(local_file_of("/home/a/b.mp4"), std::nullopt);
  EXPECT_EQ(local_file_of("qvod://12|ABC|a.mp4|"), std::nullopt);
  EXPECT_EQ(local_file_of("file://server/share/a.mp4"), std::nullopt);
  EXPECT_EQ(local_file_of("file:///a%2"), std::nullopt);
  EXPECT_EQ(local_file_of("file:///a%zz.mp4"), std::nullopt);
  EXPECT_EQ(local_file_of("file:///a%00.mp4"), std::nullopt);  // would cut the path short
  EXPECT_EQ(local_file_of("file:"), std::nullopt);
}

TEST(PlayerMayPlay, OnlyFilesAndWebAndPlayerAddresses) {
  for (const char* media :
       {"/m/a.mp4", "file:///m/a.mp4", "http://h/a.mp4", "HTTPS://h/a", "qvod://12|AB|a.mp4|"}) {
    EXPECT_TRUE(player_may_play(media)) << media;
  }
  for (const char* other : {"zzunknown://x", "av://lavfi:testsrc", "edl://a", "-", "a.mp4",
                            "~/a.mp4", "http://", "", "file://server/a.mp4"}) {
    EXPECT_FALSE(player_may_play(other)) << other;
  }
}

TEST(AddressName, NamesWebAddressesByTheirLastSegment) {
  EXPECT_EQ(address_name("http://127.0.0.1:9/nothing.mp4"), "nothing.mp4");
  EXPECT_EQ(address_name("https://h/v/%E7%94%B5%E5%BD%B1%201.mp4?t=1#x"), "电影 1.mp4");
  EXPECT_EQ(address_name("http://h/"), "");
  // What would not read as text or would break a list line stays as written.
  EXPECT_EQ(address_name("http://h/a%7Cb%0A.mp4"), "a%7Cb%0A.mp4");
  EXPECT_EQ(address_name("qvod://12|AB|名字.rmvb|"), "名字.rmvb");
  EXPECT_EQ(address_name("/m/a.mp4"), "a.mp4");
}

}  // namespace
}  // namespace pelmora::text
