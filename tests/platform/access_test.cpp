#include <gtest/gtest.h>

#include <string>

#include "platform/access.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::platform {
namespace {

// The arrows on a focused tab select its neighbour in the tab order, passing over a hidden tab
// and wrapping round; Space on the selected (disabled) tab does nothing.
TEST(Access, ArrowsOnATabSelectTheNeighbourThatShows) {
  Form form("strip");
  PictureBox a{&form, "a"}, b{&form, "b"}, c{&form, "c"};
  std::string pressed;
  for (PictureBox* tab : {&a, &b, &c}) {
    tab->set_access(AccessRole::kPageTab);
    tab->on_click = [&pressed, tab] { pressed += tab->name(); };
  }
  b.set_visible(false);
  form.set_tab_order({&a, &b, &c});
  EXPECT_TRUE(access::handle_key(a, 39));
  EXPECT_TRUE(access::handle_key(c, 39));
  EXPECT_TRUE(access::handle_key(a, 37));
  EXPECT_EQ(pressed, "cac");
  c.set_enabled(false);
  EXPECT_FALSE(access::handle_key(c, 32));
  EXPECT_EQ(c.access_name(), "");
  c.set_caption("\r\n 网络任务 ");
  EXPECT_EQ(c.access_name(), "网络任务");
}

}  // namespace
}  // namespace pelmora::platform
