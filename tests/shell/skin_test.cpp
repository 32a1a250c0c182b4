#include "shell/skin.h"

#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "shell/shell_window.h"

namespace pelmora::app {
namespace {

using platform::Rect;
using SkinTest = pelmora::testing::ShellTest;
namespace skin = shell::skin;

TEST(SkinTables, TheProgramCarriesSkinZeroOnly) {
  EXPECT_EQ(skin::resource_number(0, 0), 101);
  EXPECT_EQ(skin::resource_number(1, 20), 221);
  EXPECT_TRUE(skin::carried(101));
  EXPECT_TRUE(skin::carried(121));
  EXPECT_FALSE(skin::carried(122));
  EXPECT_FALSE(skin::carried(201));
}

// The width and height from a PNG file's header, or (0, 0) when it is not a PNG.
std::pair<int, int> png_size(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[24] = {};
  file.read(reinterpret_cast<char*>(header), sizeof header);
  if (!file || header[1] != 'P' || header[2] != 'N' || header[3] != 'G') return {0, 0};
  const auto big_endian = [&header](int at) {
    return (header[at] << 24) | (header[at + 1] << 16) | (header[at + 2] << 8) | header[at + 3];
  };
  return {big_endian(16), big_endian(20)};
}

TEST(SkinBitmaps, EveryCarriedBitmapHasTheSizeItsCellsAreCutFrom) {
  const std::filesystem::path folder =
      std::filesystem::path(PELMORA_SOURCE_DIR) / "src/resources/skin";
  for (int strip = 0; strip < skin::kStrips; ++strip) {
    const int number = skin::resource_number(0, strip);
    const auto size = png_size(folder / (std::to_string(number) + ".png"));
    EXPECT_EQ(size.first, skin::kBitmapSizes[strip].width) << number;
    EXPECT_EQ(size.second, skin::kBitmapSizes[strip].height) << number;
  }
}

TEST_F(SkinTest, LoadingSkinZeroFillsTheStripsAndPaintsEveryButton) {
  BA1& ba1 = open_shell();
  for (int i = 0; i < 21; ++i) EXPECT_EQ(ba1.ppt[i].picture(), std::to_string(101 + i));
  EXPECT_EQ(shown_at(ba1.npc[2]), "ppt(1) 120,0 24x24");
  EXPECT_EQ(shown_at(ba1.npc[1]), "ppt(1) 96,0 24x24");
  EXPECT_EQ(shown_at(ba1.npc[0]), "ppt(1) 72,0 24x24");
  EXPECT_EQ(shown_at(ba1.npc[5]), "ppt(1) 48,0 24x24");
  EXPECT_EQ(shown_at(ba1.npc[15]), "ppt(1) 0,0 24x24");
  EXPECT_EQ(shown_at(ba1.npc[4]), "ppt(6) 0,0 24x24");
  // The selected tab and sub-tab from their selected cells, the others from their normal ones.
  EXPECT_EQ(shown_at(ba1.npc[8]), "ppt(7) 0,0 58x69");
  EXPECT_FALSE(ba1.npc[8].enabled());
  EXPECT_EQ(shown_at(ba1.npc[9]), "ppt(8) 58,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[13]), "ppt(8) 116,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[14]), "ppt(8) 174,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[7]), "ppt(8) 232,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[3]), "ppt(8) 290,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[12]), "ppt(9) 60,0 60x21");
  EXPECT_EQ(shown_at(ba1.npc[11]), "ppt(9) 0,21 60x21");
  EXPECT_EQ(shown_at(ba1.npc[16]), "ppt(9) 120,21 60x21");
  EXPECT_EQ(ba1.npc[10].cells().back(),
            (platform::CellCopy{"ppt(10)", {0, 0, 2, 28}, {0, 0, 203, 28}, true}));
  // The transport bar and the volume bar.
  EXPECT_EQ(shown_at(ba1.bo_but[0]), "ppt(12) 0,0 50x30");
  EXPECT_EQ(shown_at(ba1.bo_but[1]), "ppt(13) 0,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[2]), "ppt(14) 0,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[8]), "ppt(16) 75,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[3]), "ppt(16) 50,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[4]), "ppt(16) 25,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[6]), "ppt(16) 0,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[5]), "ppt(18) 0,0 25x25");
  EXPECT_EQ(shown_at(ba1.bo_but[7]), "ppt(18) 50,0 25x25");
  EXPECT_EQ(ba1.yin.picture(), "116");
  EXPECT_EQ(ba1.bo_v.picture(), "120");
  EXPECT_EQ(ba1.bo_foot.cells().front(),
            (platform::CellCopy{"ppt(3)", {0, 0, 1, 31}, {0, 0, ba1.bo_foot.width(), 31}, true}));
}

TEST_F(SkinTest, TheNormalFrameIsStretchedFromItsEightPiecesInOrder) {
  BA1& ba1 = open_shell();
  resize_to(ba1, 15000, 9000);  // 1000 x 600
  const std::vector<platform::CellCopy> expected = {
      {"ppt(0)", {0, 105, 35, 10}, {0, 105, 35, 495}, true},
      {"ppt(0)", {45, 105, 35, 10}, {965, 105, 35, 495}, true},
      {"ppt(0)", {35, 115, 10, 5}, {35, 595, 930, 5}, true},
      {"ppt(0)", {0, 115, 35, 5}, {0, 595, 35, 5}, false},
      {"ppt(0)", {45, 115, 35, 5}, {965, 595, 35, 5}, false},
      {"ppt(0)", {40, 0, 10, 105}, {40, 0, 930, 105}, true},
      {"ppt(0)", {0, 0, 40, 105}, {0, 0, 40, 105}, false},
      {"ppt(0)", {50, 0, 30, 105}, {970, 0, 30, 105}, false},
  };
  EXPECT_EQ(ba1.cells(), expected);
}

TEST_F(SkinTest, TheCompactFrameHasSevenPixelBordersAndATwentyPixelBand) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[15]);  // 386 x 320
  const std::vector<platform::CellCopy>& cells = ba1.cells();
  ASSERT_GE(cells.size(), 8u);
  const std::vector<platform::CellCopy> last(cells.end() - 8, cells.end());
  const std::vector<platform::CellCopy> expected = {
      {"ppt(0)", {0, 78, 7, 10}, {0, 20, 7, 293}, true},
      {"ppt(0)", {73, 78, 7, 10}, {379, 20, 7, 293}, true},
      {"ppt(0)", {35, 23, 10, 7}, {3, 313, 380, 7}, true},
      {"ppt(0)", {0, 101, 3, 7}, {0, 313, 3, 7}, false},
      {"ppt(0)", {73, 23, 7, 7}, {379, 313, 7, 7}, false},
      {"ppt(0)", {35, 0, 10, 20}, {7, 0, 372, 20}, true},
      {"ppt(0)", {0, 0, 7, 20}, {0, 0, 7, 20}, false},
      {"ppt(0)", {73, 0, 7, 20}, {379, 0, 7, 20}, false},
  };
  EXPECT_EQ(last, expected);
  EXPECT_EQ(ba1.cell_at(100, 10)->to, (Rect{7, 0, 372, 20}));
}

TEST_F(SkinTest, ASkinTheProgramDoesNotCarryLeavesTheWindowAsItWas) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[9]);
  click_on(ba1, ba1.npc[16]);
  const auto before = all_copies(ba1);
  ba1.p_p(1);
  EXPECT_EQ(all_copies(ba1), before);
  ba1.p_p(2);
  EXPECT_EQ(all_copies(ba1), before);
  EXPECT_EQ(ba1.chrome.cur_tab, 9);
  EXPECT_EQ(ba1.chrome.cur_side_tab, 16);
  EXPECT_EQ(shown_at(ba1.npc[9]), "ppt(7) 58,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[8]), "ppt(8) 0,0 58x69");
  EXPECT_EQ(shown_at(ba1.npc[16]), "ppt(9) 120,0 60x21");
  EXPECT_EQ(ba1.ppt[0].picture(), "101");
}

TEST_F(SkinTest, ASkinChangeInCompactModeKeepsTheCompactWindow) {
  BA1& ba1 = open_shell();
  click_on(ba1, ba1.npc[15]);
  const auto before = all_copies(ba1);
  const Rect player = ba1.qvod.rect();
  ba1.p_p(0);
  EXPECT_EQ(ba1.qvod.rect(), player);
  EXPECT_EQ(ba1.cell_at(100, 10)->to, (Rect{7, 0, 372, 20}));
  EXPECT_EQ(all_copies(ba1), before);
}

}  // namespace
}  // namespace pelmora::app
