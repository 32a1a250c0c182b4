#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/access.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::platform {
namespace {

// A strip of three tabs (the middle one hidden), a button and a bar, walked in this order.
class Strip : public Form {
 public:
  Strip() : Form("strip") {
    for (PictureBox* tab : {&a, &b, &c}) {
      tab->set_access(AccessRole::kPageTab);
      tab->on_click = [this, tab] { pressed.push_back(tab->name()); };
    }
    b.set_visible(false);
    button.set_access(AccessRole::kButton);
    button.on_click = [this] { pressed.push_back("button"); };
    bar.set_access(AccessRole::kSlider, "音量");
    bar.on_step = [this](int direction) { steps += direction; };
    set_tab_order({&a, &b, &c, &button, &bar});
  }
  PictureBox a{this, "a"}, b{this, "b"}, c{this, "c"}, button{this, "button"}, bar{this, "bar"};
  std::vector<std::string> pressed;
  int steps = 0;
};

TEST(Access, NamesComeFromTheOwnNameThenTheTipThenTheCaptionTrimmed) {
  Strip form;
  form.button.set_caption("\r\n 网络任务 ");
  EXPECT_EQ(form.button.access_name(), "网络任务");
  form.button.set_tool_tip("播放");
  EXPECT_EQ(form.button.access_name(), "播放");
  EXPECT_EQ(form.bar.access_name(), "音量");
}

TEST(Access, KeysPressButtonsStepBarsAndSwitchTabsPastHiddenOnes) {
  Strip form;
  EXPECT_TRUE(access::handle_key(form.button, 32));
  EXPECT_TRUE(access::handle_key(form.button, 13));
  EXPECT_FALSE(access::takes_key(form.button, 37));  // arrows stay the window's keys
  EXPECT_TRUE(access::handle_key(form.a, 39));       // right: past the hidden tab to c
  EXPECT_TRUE(access::handle_key(form.c, 39));       // and round to a
  EXPECT_EQ(form.pressed, (std::vector<std::string>{"button", "button", "c", "a"}));
  // The selected tab is disabled: Space does nothing, and no press is reported.
  form.a.set_enabled(false);
  EXPECT_FALSE(access::handle_key(form.a, 32));
  EXPECT_TRUE(access::handle_key(form.bar, 38));
  EXPECT_TRUE(access::handle_key(form.bar, 37));
  EXPECT_TRUE(access::handle_key(form.bar, 39));
  EXPECT_EQ(form.steps, 1);
  EXPECT_FALSE(access::takes_key(form.bar, 32));  // Space on a bar plays and pauses
}

}  // namespace
}  // namespace pelmora::platform
