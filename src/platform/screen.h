#pragma once

#include "platform/control.h"

namespace pelmora::platform {

// The screen the main window is on.
class Screen {
 public:
  virtual ~Screen() = default;
  // The whole screen and the work area (without panels and task bars), in pixels.
  virtual Rect geometry() const = 0;
  virtual Rect work_area() const = 0;
  // Twips per pixel, 15 at the standard density.
  virtual int twips_per_pixel_x() const = 0;
  virtual int twips_per_pixel_y() const = 0;
  // The desktop can keep a window above the others and put it where the program asks (not so
  // under a Wayland compositor).
  virtual bool keeps_windows_on_top() const { return true; }
};

}  // namespace pelmora::platform
