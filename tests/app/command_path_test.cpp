#include "app/command_path.h"

#include <gtest/gtest.h>

namespace pelmora::app {
namespace {

TEST(CommandPath, ARelativePathBecomesAbsoluteInTheStartingFolder) {
  EXPECT_EQ(absolute_command_line("film.mkv", "/home/u/Videos"), "/home/u/Videos/film.mkv");
  EXPECT_EQ(absolute_command_line("\"my film.mkv\"", "/home/u"), "/home/u/my film.mkv");
  EXPECT_EQ(absolute_command_line("./a/../b.mkv", "/w"), "/w/b.mkv");
  EXPECT_EQ(absolute_command_line("../up.mkv", "/w/sub/"), "/w/up.mkv");
  EXPECT_EQ(absolute_command_line("新 剧/第1集.mp4", "/媒体"), "/媒体/新 剧/第1集.mp4");
}

TEST(CommandPath, AddressesAbsolutePathsAndNothingStayAsTheyAre) {
  for (const char* kept : {"", "/abs/x.mkv", "\"/abs/a b.mkv\"", "http://127.0.0.1:8750/x.mp4",
                           "qvod://12|AB|name.rmvb|", "~/x.mkv"}) {
    EXPECT_EQ(absolute_command_line(kept, "/w"), kept) << kept;
  }
  // Without a usable starting folder nothing can be made absolute.
  EXPECT_EQ(absolute_command_line("film.mkv", ""), "film.mkv");
}

}  // namespace
}  // namespace pelmora::app
