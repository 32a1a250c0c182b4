#include "promo/promotion_windows.h"

#include <algorithm>

#include "app/main_window.h"
#include "platform/screen.h"

namespace pelmora::promo {

namespace {

// Design sizes, in twips.
constexpr int kFloatWidth = 4020;
constexpr int kFloatHeight = 3000;
constexpr int kRecommendWidth = 5250;
constexpr int kRecommendHeight = 3750;
// The floating window keeps this far (twips) from the screen's right and bottom edges, clear of
// a task bar.
constexpr int kFloatRightGap = 80;
constexpr int kFloatBottomGap = 450;

}  // namespace

PromotionWindow::PromotionWindow(std::string name, app::BA1& main_window, int width, int height,
                                 int close_width, int close_height)
    : Form(std::move(name)), main_(main_window) {
  set_twips_per_pixel(main_window.services().screen.twips_per_pixel_x());
  move(0, 0, width, height);
  set_visible(false);
  Web1.set_container(&Pc1);
  Picture1.set_container(this);
  Picture1.move(0, 0, close_width, close_height);
  Picture1.set_cursor(platform::Cursor::kHand);
  Picture1.on_click = [this] { Picture1_Click(); };
  Web1.on_download_begin = [this] { Web1.set_silent(true); };
  // The page opened a link in a new window: that window goes ahead, this one closes.
  Web1.on_new_window2 = [this](const std::string&, bool&) { unload(); };
  on_resize = [this] { Form_Resize(); };
}

void PromotionWindow::Form_Resize() {
  if (window_state() == platform::WindowState::kMinimized) return;
  Pc1.move(0, 0, scale_width(), scale_height());
  Web1.move(-2, -2, Pc1.scale_width() + 4, Pc1.scale_height() + 4);
  Picture1.move(scale_width() - Picture1.width() - 4, 4, Picture1.width(), Picture1.height());
  Picture1.bring_to_front();
}

void PromotionWindow::Picture1_Click() {
  unload();
}

adsb::adsb(app::BA1& main_window)
    : PromotionWindow("adsb", main_window, kFloatWidth, kFloatHeight, 11, 11) {
  Timer1.on_timer = [this] { Timer1_Timer(); };
  on_load = [this] { Form_Load(); };
}

void adsb::Form_Load() {
  step_ = 50;
  Timer1.set_interval(10);
  Timer1.set_timer_enabled(true);

  const platform::Screen& screen = main_.services().screen;
  const int twips_x = screen.twips_per_pixel_x();
  const int twips_y = screen.twips_per_pixel_y();
  const platform::Rect whole = screen.geometry();
  // Bottom-right corner of the screen; a screen smaller than the window leaves it partly off.
  move(whole.width * twips_x - width() - kFloatRightGap,
       whole.height * twips_y - height() - kFloatBottomGap, width(), height());
  set_top_most(true);

  width_px_ = width() / twips_x;
  height_px_ = height() / twips_y;
  edge_ = height_px_ - 1;
  apply_region();
  Form_Resize();
  Web1.navigate(main_.service_url("js/ads/fudong.html"));
}

void adsb::Timer1_Timer() {
  edge_ -= step_;
  if (edge_ < 1) Timer1.set_timer_enabled(false);
  apply_region();
}

void adsb::apply_region() {
  const int top = std::max(edge_, 0);
  set_region(platform::Rect{0, top, width_px_, height_px_ - top});
}

void adsb::Picture1_Click() {
  Timer1.set_timer_enabled(false);
  Timer2.set_timer_enabled(false);
  unload();
}

ba4::ba4(app::BA1& main_window)
    : PromotionWindow("ba4", main_window, kRecommendWidth, kRecommendHeight, 51, 21) {
  set_caption("推荐");
  Timer1.on_timer = [this] { Timer1_Timer(); };
  on_load = [this] { Form_Load(); };
}

void ba4::Form_Load() {
  const platform::Screen& screen = main_.services().screen;
  const platform::Rect whole = screen.geometry();
  move((whole.width * screen.twips_per_pixel_x() - width()) / 2,
       (whole.height * screen.twips_per_pixel_y() - height()) / 2, width(), height());
  Form_Resize();
  Web1.navigate(main_.service_url("js/ads/tui.html"));
  Timer1.set_timer_enabled(true);
}

void ba4::Timer1_Timer() {
  unload();
}

}  // namespace pelmora::promo

namespace pelmora::app {

void BA1::Timer8_Timer() {
  Timer8.set_timer_enabled(false);
  float_form().show();
}

}  // namespace pelmora::app
