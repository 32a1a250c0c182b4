#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/backend.h"

class QWidget;

namespace pelmora::platform {
class Control;
class ControlPeer;
class Form;
class MenuItem;
class PictureBox;
class WebBrowser;
}  // namespace pelmora::platform

namespace pelmora::platform::qt {

class QtControlPeer;
class FormPeer;
class SurfacePeer;

// The desktop backend: every form becomes a top-level window and every control a widget inside
// its container's widget; timers run on QTimer; popup menus are QMenus built from the model at
// the moment they pop up. The peers of browser panes come from the pane maker it is given, and the
// player's video widget goes into the picture box that the video host names.
class QtBackend final : public Backend {
 public:
  QtBackend();
  ~QtBackend() override;

  // Makes the peer of a browser pane inside the form's window. Without it panes get no peer.
  using PaneMaker = std::function<std::unique_ptr<QtControlPeer>(WebBrowser&, QWidget* parent)>;
  void set_pane_maker(PaneMaker maker) { pane_maker_ = std::move(maker); }
  // The player's video widget when `box` is the picture box that hosts it (in the main window);
  // null for every other box.
  void set_video_widget_provider(std::function<QWidget*(PictureBox& box)> provider) {
    video_widget_provider_ = std::move(provider);
  }
  // A form that must look like a frameless, skinned window (the main window and the promotion
  // windows) rather than an ordinary dialog.
  void set_frameless(std::function<bool(const Form&)> frameless) {
    frameless_ = std::move(frameless);
  }

  void attach(Form& form) override;
  void detach(Form& form) override;
  void pump_events() override;
  void popup_menu(Form& form, MenuItem& menu) override;
  // Measured with the labels' real font.
  TextExtent measure_text(std::string_view text) const override;

  // Shows the form's video picture over the whole screen, or puts it back in its place in the
  // window (the player's FullScreen). Does nothing for a form without the player's picture.
  void set_video_full_screen(const Form& form, bool full_screen);
  bool video_full_screen(const Form& form) const;
  // Called when the user leaves full screen (Escape or a double click on the picture), so the
  // player's own full-screen state follows; without it the picture simply goes back.
  void set_full_screen_left_handler(std::function<void(const Form&)> handler) {
    full_screen_left_ = std::move(handler);
  }
  // The form's bar of controls that comes up over the full-screen picture while the pointer is
  // at the bottom of the screen, and goes (with the pointer) after two seconds of stillness.
  void set_full_screen_bar(const Form& form, const Control& bar) {
    full_screen_bars_[&form] = &bar;
  }

  // The top-level window of a form, null before attach (for screenshots and tests).
  QWidget* window_of(const Form& form) const;

 private:
  struct Attached {
    std::unique_ptr<FormPeer> form_peer;
    std::vector<std::unique_ptr<ControlPeer>> peers;
    SurfacePeer* video_peer = nullptr;
  };

  PaneMaker pane_maker_;
  std::function<QWidget*(PictureBox&)> video_widget_provider_;
  std::function<bool(const Form&)> frameless_;
  std::function<void(const Form&)> full_screen_left_;
  std::map<const Form*, const Control*> full_screen_bars_;
  std::map<const Form*, Attached> forms_;
};

}  // namespace pelmora::platform::qt
