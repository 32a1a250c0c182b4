#include "escape_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/url_codec.h"
#include "util/utf16.h"

// The service's codec and the program's are written apart; these tests hold them against the
// description of the form and against each other, so that a fault of either side shows.
namespace pelmora::service {
namespace {

TEST(ServiceEscapeCodec, FollowsTheDescribedForm) {
  EXPECT_EQ(codec::escape("azAZ09@*_+-./"), "azAZ09@*_+-./");
  EXPECT_EQ(codec::escape(" \t&=?%:#"), "%20%09%26%3D%3F%25%3A%23");
  EXPECT_EQ(codec::escape("中\u0101\u8C46é"), "%u4E2D%u0101%u8C46%E9");
  EXPECT_EQ(codec::escape(std::string(1, '\0')), "%u0000");
  EXPECT_EQ(codec::escape("\U0001F600"), "%uD83D%uDE00");  // one escape per UTF-16 unit
  EXPECT_EQ(codec::unescape("%u4E2D%41"), "中A");
  EXPECT_EQ(codec::unescape("%u4e2d"), "中");
  EXPECT_EQ(codec::unescape("%E4%B8%AD"), "\u00E4\u00B8\u00AD");  // units, never UTF-8 bytes
  for (const char* kept : {"100%", "%zz1", "%U4E2D", "%u12", "%u", "%", "a%4"}) {
    EXPECT_EQ(codec::unescape(kept), kept);
  }
  EXPECT_EQ(codec::unescape("%uD83D%uDE00"), "\U0001F600");
  EXPECT_EQ(codec::unescape("%uD83D"), "\uFFFD");  // a lone surrogate
}

TEST(ServiceEscapeCodec, AgreesWithTheProgramsCodecBothWays) {
  std::vector<std::string> texts = {
      "",
      "山海之间",
      "第2集 (HD) & more",
      "http://127.0.0.1:8750/qvod/p101-s1-e01.mp4?a=1&b=%41",
      "tab\there\nline\r",
      "emoji \U0001F600 and \u00FF\u0100",
      "%u4E2D stays text",
      "bad \xFF byte",
  };
  // Every unit from 1 to 0x2FF on its own, and a sample of the rest of the 16-bit range.
  for (char32_t code = 1; code < 0x300; ++code) {
    texts.push_back(pelmora::text::to_utf8(std::u16string(1, static_cast<char16_t>(code))));
  }
  for (char32_t code = 0x300; code < 0xD800; code += 97) {
    texts.push_back(pelmora::text::to_utf8(std::u16string(1, static_cast<char16_t>(code))));
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const std::string ours = codec::escape(text);
    EXPECT_EQ(ours, pelmora::text::url_escape(text));
    EXPECT_EQ(pelmora::text::url_unescape(ours), codec::unescape(ours));
    EXPECT_EQ(codec::unescape(pelmora::text::url_escape(text)),
              pelmora::text::to_utf8(pelmora::text::to_utf16(text)));
  }
  for (const char* odd : {"100%", "%zz1", "%U4E2D", "%u12G4", "%41%u0042%", "%uDE00%uD83D"}) {
    EXPECT_EQ(codec::unescape(odd), pelmora::text::url_unescape(odd)) << odd;
  }
}

}  // namespace
}  // namespace pelmora::service
