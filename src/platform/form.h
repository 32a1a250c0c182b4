#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/control.h"

namespace pelmora::platform {

class Backend;
class MenuItem;

enum class WindowState { kNormal = 0, kMinimized = 1, kMaximized = 2 };

// A window. Its controls are members of the derived class; each registers itself here when it is
// constructed, so a backend can walk them and attach its peers. The form's own position and size
// are in twips; its scale (inner) size is in pixels.
class Form : public Control {
 public:
  explicit Form(std::string name);
  ~Form() override;

  const std::vector<Control*>& controls() const { return controls_; }
  Control* find(std::string_view name, int index = -1) const;

  // Twips per pixel of the screen the form is on (15 at the standard density).
  int twips_per_pixel() const { return twips_per_pixel_; }
  void set_twips_per_pixel(int twips) { twips_per_pixel_ = twips > 0 ? twips : 15; }
  // The inner size in pixels (ScaleWidth, ScaleHeight).
  int scale_width() const { return width() / twips_per_pixel_; }
  int scale_height() const { return height() / twips_per_pixel_; }

  bool loaded() const { return loaded_; }
  // Runs on_load once (Form_Load), then marks the form loaded.
  void load();
  // Shows the form (loading it first when needed).
  void show();
  void hide();
  // Closes the window: raises on_query_unload (which may cancel), then on_unload, hides the form
  // and marks it unloaded. True when it was unloaded.
  bool unload();
  bool shown() const { return shown_; }

  WindowState window_state() const { return window_state_; }
  void set_window_state(WindowState state);
  bool top_most() const { return top_most_; }
  void set_top_most(bool top_most);
  bool key_preview() const { return key_preview_; }
  void set_key_preview(bool preview) { key_preview_ = preview; }

  // The control holding the mouse capture, if any.
  Control* captured() const { return captured_; }

  // The backend the form is attached to; null before attach.
  Backend* backend() const { return backend_; }
  void set_backend(Backend* backend) { backend_ = backend; }

  // Shows a popup menu at the pointer and returns when it closes; the chosen item's on_click has
  // run by then. Does nothing before the form is attached to a backend.
  void popup_menu(MenuItem& menu);

  std::function<void()> on_load;
  std::function<void()> on_resize;
  // Return true to cancel the close.
  std::function<bool()> on_query_unload;
  std::function<void()> on_unload;
  std::function<void(int key_code, int shift)> on_key_down;
  std::function<void(int key_code, int shift)> on_key_up;

  void raise_key_down(int key_code, int shift);
  void raise_key_up(int key_code, int shift);
  // The window's size changed: keeps the model and runs on_resize.
  void raise_resize();

 private:
  friend class Control;
  void register_control(Control* control);
  void unregister_control(Control* control);
  void capture_changed(Control* control, bool taken);

  std::vector<Control*> controls_;
  int twips_per_pixel_ = 15;
  bool loaded_ = false;
  bool shown_ = false;
  bool top_most_ = false;
  bool key_preview_ = false;
  WindowState window_state_ = WindowState::kNormal;
  Control* captured_ = nullptr;
  Backend* backend_ = nullptr;
};

}  // namespace pelmora::platform
