#include "util/display_width.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmora::text {
namespace {

std::string repeat(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += piece;
  return out;
}

TEST(CodePointWidth, CountsWideAndFullwidthCharactersDouble) {
  for (const char32_t wide : {U'中', U'豆', U'あ', U'カ', U'한', U'，', U'。', U'Ａ', U'\u3000',
                              U'😀', U'🤔', U'\U0002000B', U'\U00030000', U'\u1100'}) {
    EXPECT_EQ(code_point_width(wide), 2) << static_cast<unsigned>(wide);
  }
  for (const char32_t narrow : {U'a', U' ', U'\u00e4', U'\u00b7', U'\u2014', U'ｱ', U'\u4dc0',
                                U'\ufffd', U'\U0001F321', U'\U0010FFFD'}) {
    EXPECT_EQ(code_point_width(narrow), 1) << static_cast<unsigned>(narrow);
  }
}

TEST(CutWidth, ReturnsATextWholeWhenItFitsEvenAtDoubleWidth) {
  EXPECT_EQ(cut_width(repeat("中", 15), 30), repeat("中", 15));
  EXPECT_EQ(cut_width("short", 10), "short");
  EXPECT_EQ(cut_width("", 0), "");
}

TEST(CutWidth, CutsAtTheLastCharacterThatStillFits) {
  EXPECT_EQ(cut_width(repeat("中", 16), 30), repeat("中", 15));
  EXPECT_EQ(cut_width("abcdefghij", 4), "abcd");
  EXPECT_EQ(cut_width("ab中文", 3), "ab");  // the wide one would need column 4
  EXPECT_EQ(cut_width("ab中文cd", 4), "ab中");
  EXPECT_EQ(cut_width("abcdef", 0), "");
  EXPECT_EQ(cut_width("abcdef", -3), "");
}

TEST(CutWidth, NeverSplitsASurrogatePair) {
  // Each emoji is two UTF-16 units and two columns.
  EXPECT_EQ(cut_width("a😀😀😀", 4), "a😀");
  EXPECT_EQ(cut_width("a😀😀😀", 2), "a");
  // A narrow character beyond the 16-bit range takes one column for its two units.
  EXPECT_EQ(cut_width("\U0001D11E\U0001D11E\U0001D11E", 2), "\U0001D11E\U0001D11E");
}

}  // namespace
}  // namespace pelmora::text
