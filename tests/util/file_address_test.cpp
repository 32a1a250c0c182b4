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

}  // namespace
}  // namespace pelmora::text
