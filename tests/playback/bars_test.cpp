#include <string>
#include <vector>

#include "app/main_window.h"
#include "playback/bar_math.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::MouseButton;
using platform::MouseEvent;

constexpr MouseEvent left_at(int x) {
  return {MouseButton::kLeft, 0, x, 2};
}

class Bars : public pelmora::testing::MainWindowTest {
 protected:
  // A 100-pixel volume track with a 10-pixel thumb (90 pixels of travel), and a 400-pixel seek
  // track with a 10-pixel thumb (390 pixels of travel) over a 780-second item, so that one pixel
  // of the seek thumb is two seconds.
  BA1& open_bars() {
    BA1& ba1 = open_window();
    ba1.yin.move(0, 0, 100, 8);
    ba1.bo_v.move(40, 0, 10, 8);
    ba1.gunt.move(0, 0, 400, 8);
    ba1.gunt1.move(0, 0, 10, 8);
    player().address = "qvod://100|ABC|film.rmvb|";
    player().duration_s = 780;
    player().muted = true;
    ba1.bo_but[2].set_tool_tip("取消静音");
    return ba1;
  }
};

TEST_F(Bars, VolumeTrackClickAtEitherEndSetsZeroOrFullVolumeAndUnmutes) {
  BA1& ba1 = open_bars();
  ba1.yin.raise_mouse_down(left_at(300));
  EXPECT_EQ(ba1.bo_v.left(), 90);
  EXPECT_EQ(ba1.bo_y.width(), 90);
  EXPECT_EQ(player().calls.back(), "Volume=100");
  EXPECT_EQ(ba1.zhun.caption(), "音量：100%");
  EXPECT_FALSE(player().muted);
  EXPECT_EQ(ba1.bo_but[2].tool_tip(), "静音");

  player().muted = true;
  ba1.yin.raise_mouse_down(left_at(0));
  EXPECT_EQ(ba1.bo_v.left(), 0);
  EXPECT_EQ(ba1.bo_y.width(), 0);
  EXPECT_EQ(player().calls.back(), "Volume=0");
  EXPECT_EQ(ba1.zhun.caption(), "音量：0%");
  EXPECT_FALSE(player().muted);
}

TEST_F(Bars, VolumeTrackTruncatesThePercentageAndIgnoresOtherButtons) {
  BA1& ba1 = open_bars();
  ba1.yin.raise_mouse_down({MouseButton::kRight, 0, 60, 2});
  EXPECT_EQ(ba1.bo_v.left(), 40);
  EXPECT_TRUE(player().muted);
  ba1.bo_y.raise_mouse_down(left_at(60));
  EXPECT_EQ(player().calls.back(), "Volume=66");  // 60 / 90 = 66.7 %
}

TEST_F(Bars, DraggingTheVolumeThumbBeyondAnEndKeepsItButStillUnmutes) {
  BA1& ba1 = open_bars();
  player().calls.clear();
  ba1.bo_v.raise_mouse_move(left_at(51));  // 40 + 51 is past the end
  EXPECT_EQ(ba1.bo_v.left(), 40);
  EXPECT_EQ(player().calls, std::vector<std::string>{"Mute=0"});
  ba1.bo_v.raise_mouse_move(left_at(-41));
  EXPECT_EQ(ba1.bo_v.left(), 40);

  ba1.bo_v.raise_mouse_move(left_at(50));  // exactly the end
  EXPECT_EQ(ba1.bo_v.left(), 90);
  EXPECT_EQ(ba1.bo_v.tool_tip(), "100");
  ba1.bo_v.raise_mouse_move(left_at(-90));  // exactly the start
  EXPECT_EQ(ba1.bo_v.left(), 0);
  EXPECT_EQ(ba1.bo_v.tool_tip(), "0");
  EXPECT_EQ(ba1.bo_y.width(), 0);
  EXPECT_EQ(player().calls.back(), "Volume=0");

  player().calls.clear();
  ba1.bo_v.raise_mouse_move({MouseButton::kNone, 0, 20, 2});  // no button held: a plain hover
  EXPECT_TRUE(player().calls.empty());
}

TEST_F(Bars, SeekTrackClickSeeksToTheProportionalPoint) {
  BA1& ba1 = open_bars();
  ba1.gunt.raise_mouse_down(left_at(100));
  EXPECT_EQ(ba1.gunt1.left(), 100);
  ba1.gunt.raise_mouse_up(left_at(100));
  EXPECT_EQ(player().calls.back(), "Position=200");
  ba1.gunt.raise_mouse_down(left_at(0));
  ba1.gunt.raise_mouse_up(left_at(0));
  EXPECT_EQ(player().calls.back(), "Position=0");
}

TEST_F(Bars, SeekPastTheEndIsPulledBackTwoSecondsBeforeIt) {
  BA1& ba1 = open_bars();
  ba1.gunt.raise_mouse_down(left_at(400));  // the track is wider than the thumb's travel
  ba1.gunt.raise_mouse_up(left_at(400));
  // One seek, to where the item can still be seen: never first to its end.
  EXPECT_EQ(player().calls.back(), "Position=778");
  EXPECT_EQ(std::count(player().calls.begin(), player().calls.end(), "Position=800"), 0);
}

TEST_F(Bars, DroppedThumbSeeksTwoSecondsEarlyBeyondTwoPixels) {
  BA1& ba1 = open_bars();
  ba1.gunt1.raise_mouse_move(left_at(2));
  ba1.gunt1.raise_mouse_up(left_at(0));
  EXPECT_EQ(player().calls.back(), "Position=4");
  ba1.gunt1.raise_mouse_move(left_at(1));
  ba1.gunt1.raise_mouse_up(left_at(0));
  EXPECT_EQ(player().calls.back(), "Position=4");  // 3 pixels: 6 s less the back-off

  ba1.gunt1.raise_mouse_move(left_at(1000));
  EXPECT_EQ(ba1.gunt1.left(), 390);
  ba1.gunt1.raise_mouse_up(left_at(0));
  EXPECT_EQ(player().calls.back(), "Position=778");
  ba1.gunt1.raise_mouse_move(left_at(-1000));
  EXPECT_EQ(ba1.gunt1.left(), 0);
  ba1.gunt1.raise_mouse_up(left_at(0));
  EXPECT_EQ(player().calls.back(), "Position=0");
}

TEST_F(Bars, DownloadBarClickSeeksTwoSecondsEarly) {
  BA1& ba1 = open_bars();
  ba1.huan.raise_mouse_down(left_at(50));
  EXPECT_EQ(ba1.gunt1.left(), 50);
  ba1.huan.raise_mouse_up(left_at(50));
  EXPECT_EQ(player().calls.back(), "Position=98");
}

TEST_F(Bars, BarsThatAreNotLaidOutNeitherSeekNorDivide) {
  BA1& ba1 = open_window();
  ba1.gunt.set_width(0);
  ba1.gunt1.set_width(0);
  ba1.yin.set_width(0);
  ba1.bo_v.set_width(0);
  player().address = "a.mp4";
  player().duration_s = 100;
  ba1.gunt.raise_mouse_up(left_at(0));
  ba1.yin.raise_mouse_down(left_at(5));
  EXPECT_EQ(player().calls.back(), "Volume=0");
  for (const std::string& call : player().calls)
    EXPECT_EQ(call.rfind("Position=", 0), std::string::npos);
}

TEST(BarMath, RoundsTiesToTheEvenNeighbour) {
  EXPECT_EQ(playback::bars::round_even(2.5), 2);
  EXPECT_EQ(playback::bars::round_even(3.5), 4);
  EXPECT_EQ(playback::bars::round_even(-2.5), -2);
  EXPECT_EQ(playback::bars::round_even(2.51), 3);
  EXPECT_EQ(playback::bars::seek_target(1, 4, 10, 0), 2);  // 2.5 -> 2
  EXPECT_EQ(playback::bars::seek_target(3, 4, 10, 0), 8);  // 7.5 -> 8
  EXPECT_EQ(playback::bars::seek_thumb(5, 0, 390), 0);
}

}  // namespace
}  // namespace pelmora::app
