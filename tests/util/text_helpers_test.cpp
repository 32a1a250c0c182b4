#include "util/text_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace pelmora::text {
namespace {

TEST(TimeText, WritesMinutesAndSecondsBelowAnHourAndHoursFromThenOn) {
  const std::vector<std::pair<std::int64_t, std::string>> cases = {
      {0, "00:00"},        {59, "00:59"},     {245, "04:05"},
      {3599, "59:59"},     {3600, "1:00:00"}, {3845, "1:04:05"},
      {36000, "10:00:00"}, {-5, "00:00"},     {360000, "100:00:00"},
  };
  for (const auto& [seconds, expected] : cases) EXPECT_EQ(time_text(seconds), expected) << seconds;
}

TEST(PathHelpers, FilePartIsTheTextAfterTheLastSlashOfAPath) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/media/films/a.rmvb", "a.rmvb"},
      {"a.rmvb", ""},
      {"/media/films/", ""},
      {"qvod://123|ABC|火影.rmvb|", ""},
      {"http://host/path/film.mp4", ""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(file_part(path), expected) << path;
}

TEST(PathHelpers, DropExtRemovesOnlyTheLastExtension) {
  EXPECT_EQ(drop_ext("a.b.rmvb"), "a.b");
  EXPECT_EQ(drop_ext(".hidden"), "");
  EXPECT_EQ(drop_ext("noext"), "");
}

TEST(TextBetween, CutsWithOrWithoutTheMarkersAndIsEmptyWhenOneIsMissing) {
  const std::string save = "Defaultsavepath=\"";
  const std::string line = R"(<Setting Defaultsavepath="D:\Qvod\Downloads\" Other="x"/>)";
  struct Case {
    std::string text, start, end;
    Between mode;
    std::string expected;
  };
  const Case cases[] = {
      {line, save, "\"", Between::kInside, R"(D:\Qvod\Downloads\)"},
      {line, save, "\"", Between::kWithMarkers, R"(Defaultsavepath="D:\Qvod\Downloads\")"},
      {"x [a] [b]", "[", "]", Between::kWithMarkers, "[a]"},
      {"x [a] [b]", "[", "]", Between::kInside, "a"},
      {"[]", "[", "]", Between::kInside, ""},
      {R"(<Setting Other="x"/>)", save, "\"", Between::kInside, ""},
      {R"(Defaultsavepath="D:\unterminated)", save, "\"", Between::kInside, ""},
      {"] before [", "[", "]", Between::kWithMarkers, ""},
      {"[a]", "[", "]", static_cast<Between>(3), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text_between(c.text, c.start, c.end, c.mode), c.expected) << c.text;
  }
}

TEST(ParseWhole, AcceptsBlanksSignAndDigitsWithin64Bits) {
  const std::vector<std::pair<std::string, std::int64_t>> good = {
      {"0", 0},
      {"42", 42},
      {"  -17\t", -17},
      {"+8", 8},
      {"007", 7},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
  };
  for (const auto& [text, expected] : good) {
    std::int64_t value = -1;
    EXPECT_TRUE(parse_whole(text, value)) << text;
    EXPECT_EQ(value, expected) << text;
  }
}

TEST(ParseWhole, RejectsEverythingElseAndLeavesTheValue) {
  for (const std::string text :
       {"", "  ", "-", "+ 1", "1 2", "12a", "0x10", "1.5", "１２", "9223372036854775808",
        "-9223372036854775809", "99999999999999999999"}) {
    std::int64_t value = 5;
    EXPECT_FALSE(parse_whole(text, value)) << text;
    EXPECT_EQ(value, 5) << text;
  }
}

}  // namespace
}  // namespace pelmora::text
