#include "util/url_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "util/utf16.h"

namespace pelmora::text {
namespace {

struct Case {
  std::string input;
  std::string expected;
};

TEST(UrlEscape, KeepsSafeCharactersAndEscapesTheRestByCodeSize) {
  const std::vector<Case> cases = {
      {"AZaz09@*_+-./", "AZaz09@*_+-./"},
      {" ", "%20"},
      {"\t", "%09"},
      {"\x0f", "%0F"},
      {"|", "%7C"},
      {"%", "%25"},
      {std::string(1, '\0'), "%u0000"},
      {"\u00e4", "%E4"},
      {"\u0101", "%u0101"},
      {"中", "%u4E2D"},
      {"\u8c46", "%u8C46"},
      {"😀", "%uD83D%uDE00"},
  };
  for (const Case& c : cases) EXPECT_EQ(url_escape(c.input), c.expected) << c.input;
}

TEST(UrlEscape, TurnsEachMalformedByteIntoOneReplacementCharacter) {
  EXPECT_EQ(url_escape("a\xff"
                       "b"),
            "a%uFFFDb");
  EXPECT_EQ(url_escape("\xe4\xb8"), "%uFFFD%uFFFD");            // cut-off three-byte sequence
  EXPECT_EQ(url_escape("\xc0\xaf"), "%uFFFD%uFFFD");            // overlong "/"
  EXPECT_EQ(url_escape("\xed\xa0\x80"), "%uFFFD%uFFFD%uFFFD");  // encoded surrogate
}

TEST(UrlUnescape, DecodesValidSequencesAndLeavesTheRestAlone) {
  const std::vector<Case> cases = {
      {"%u4E2D%41", "中A"},
      {"%u4e2d", "中"},
      {"%E4", "\u00e4"},
      {"%e4", "\u00e4"},
      {"%7C", "|"},
      {"%00", std::string(1, '\0')},
      {"%u0000", std::string(1, '\0')},
      {"100%", "100%"},
      {"%zz1", "%zz1"},
      {"%U4E2D", "%U4E2D"},
      {"%u4E2", "%u4E2"},  // too short for "%u": "%u4" is not two hex digits either
      {"%4", "%4"},
      {"%%41", "%A"},
      {"中%20文", "中 文"},
      {"%uD83D%uDE00", "😀"},
      {"%uD83D", "\ufffd"},              // lone high surrogate
      {"%uDE00%uD83D", "\ufffd\ufffd"},  // wrong order does not pair
  };
  for (const Case& c : cases) EXPECT_EQ(url_unescape(c.input), c.expected) << c.input;
}

TEST(UrlCodec, UnescapingTheEscapeGivesTheTextBack) {
  std::string every_low_code;
  for (char32_t c = 0; c < 256; ++c) {
    every_low_code += to_utf8(std::u16string(1, static_cast<char16_t>(c)));
  }
  const std::vector<std::string> texts = {
      "",
      "plain ASCII with spaces, commas; and |pipes|",
      every_low_code,
      "火影忍者 第12集 [高清]",
      "emoji 😀🎬 and 𠀋 beyond the 16-bit range",
      "100% of %u4E2D and %41 stay literal",
      "mixed: Größe – ½ © ﹏ ｆｕｌｌ",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(url_unescape(url_escape(text)), text) << text;
  }
}

TEST(UrlCodec, RoundTripsRandomValidCodePoints) {
  std::mt19937 generator(20261207);
  // Any code point but the surrogates, which are shifted to the top of the range.
  std::uniform_int_distribution<char32_t> pick(0, 0x10FFFF - 0x800);
  for (int round = 0; round < 500; ++round) {
    std::u16string units;
    for (int i = 0; i < 1 + round % 40; ++i) {
      char32_t c = pick(generator);
      if (c >= 0xD800) c += 0x800;
      if (c < 0x10000) {
        units += static_cast<char16_t>(c);
      } else {
        units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
    const std::string text = to_utf8(units);
    ASSERT_EQ(to_utf16(text), units);
    ASSERT_EQ(url_unescape(url_escape(text)), text) << "round " << round;
  }
}

}  // namespace
}  // namespace pelmora::text
