#pragma once

#include <functional>
#include <string>

namespace pelmora::platform {

// The notification-area icon with its balloon tips.
class Tray {
 public:
  virtual ~Tray() = default;
  // Whether the desktop has a notification area. Without one, closing to the tray minimises the
  // window instead of hiding it, so that it can never become unreachable.
  virtual bool available() const = 0;
  virtual void add(const std::string& tip) = 0;
  virtual void set_tip(const std::string& tip) = 0;
  virtual void remove() = 0;
  virtual bool shown() const = 0;
  // A balloon from the icon, titled "Pelmora提示:" by the callers.
  virtual void balloon(const std::string& title, const std::string& text) = 0;

  // Clicks on the icon.
  std::function<void()> on_left_click;
  std::function<void()> on_right_click;
  std::function<void()> on_double_click;
};

}  // namespace pelmora::platform
