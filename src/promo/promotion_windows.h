#pragma once

#include <string>

#include "platform/controls.h"
#include "platform/form.h"
#include "platform/web_browser.h"

namespace pelmora::app {
class BA1;
}

namespace pelmora::promo {

// A small borderless window around one browser pane that shows a promotion page of the service,
// with a close picture over the page. The page's script errors raise no dialogs, and a link the
// page opens in a new window closes this one.
class PromotionWindow : public platform::Form {
 public:
  platform::PictureBox Pc1{this, "Pc1"};
  platform::WebBrowser Web1{this, "Web1"};
  platform::PictureBox Picture1{this, "Picture1"};

  // The pane fills the window, its 2-pixel border pushed outside the container.
  void Form_Resize();

 protected:
  // `width` and `height` are the design size in twips; the close picture's size in pixels.
  PromotionWindow(std::string name, app::BA1& main_window, int width, int height, int close_width,
                  int close_height);
  // The close picture's click.
  virtual void Picture1_Click();

  app::BA1& main_;
};

// The floating promotion window: it slides up out of its bottom edge in the bottom-right corner
// of the screen, 50 pixels every 10 ms, and stays on top until closed.
class adsb final : public PromotionWindow {
 public:
  explicit adsb(app::BA1& main_window);

  platform::Timer Timer1{this, "Timer1", 0, false};  // the slide, every 10 ms once loaded
  platform::Timer Timer2{this, "Timer2", 0, false};

  void Form_Load();
  void Timer1_Timer();
  // The moving top edge of the visible band, in window pixels (below 1 once fully shown).
  int edge() const { return edge_; }

 protected:
  void Picture1_Click() override;

 private:
  // Shows the band from the moving edge down to the window's bottom.
  void apply_region();

  int step_ = 50;
  int width_px_ = 0;
  int height_px_ = 0;
  int edge_ = 0;
};

// The recommendation window "推荐", centred on the screen while the program exits; it closes
// itself after eight seconds.
class ba4 final : public PromotionWindow {
 public:
  explicit ba4(app::BA1& main_window);

  platform::Timer Timer1{this, "Timer1", 8000, false};  // runs from the load, once

  void Form_Load();
  void Timer1_Timer();
};

}  // namespace pelmora::promo
