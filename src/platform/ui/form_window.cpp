#include "platform/ui/form_window.h"

namespace pelmora::platform::qt {

// A form's window knows where the bar it lends to the full-screen picture stands in the model.
QPoint form_point(const QWidget* widget, const QPoint& at) {
  if (const auto* window = dynamic_cast<const FormWindow*>(widget->window())) {
    return window->bar_point(widget, at);
  }
  return widget->mapTo(widget->window(), at);
}

}  // namespace pelmora::platform::qt
