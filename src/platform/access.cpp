#include "platform/access.h"

#include <algorithm>

#include "platform/form.h"
#include "platform/key_codes.h"

namespace pelmora::platform::access {

namespace {

using keys::kDown;
using keys::kLeft;
using keys::kRight;
using keys::kSpace;
using keys::kUp;
constexpr int kEnter = keys::kReturn;

bool is_arrow(int key_code) {
  return key_code >= kLeft && key_code <= kDown;
}

// The tab of the same strip (same container) `direction` places on in the tab order, passing
// over tabs that do not show; the strip wraps round.
Control* neighbour_tab(Control& tab, int direction) {
  Form* form = tab.form();
  if (form == nullptr) return nullptr;
  std::vector<Control*> strip;
  for (Control* control : form->tab_order()) {
    if (control->access_role() == AccessRole::kPageTab && control->container() == tab.container() &&
        (control == &tab || form->shows(*control))) {
      strip.push_back(control);
    }
  }
  const auto at = std::find(strip.begin(), strip.end(), &tab);
  if (at == strip.end() || strip.size() < 2) return nullptr;
  const auto count = static_cast<std::ptrdiff_t>(strip.size());
  const std::ptrdiff_t index = ((at - strip.begin()) + direction + count) % count;
  return strip[static_cast<std::size_t>(index)];
}

}  // namespace

bool takes_key(const Control& control, int key_code) {
  switch (control.access_role()) {
    case AccessRole::kButton:
      return key_code == kSpace || key_code == kEnter;
    case AccessRole::kPageTab:
      return key_code == kSpace || key_code == kEnter || is_arrow(key_code);
    case AccessRole::kSlider:
      return is_arrow(key_code);
    case AccessRole::kNone:
      break;
  }
  return false;
}

bool press(Control& control) {
  const AccessRole role = control.access_role();
  if (role != AccessRole::kButton && role != AccessRole::kPageTab) return false;
  if (!control.enabled()) return false;
  control.raise_click();
  return true;
}

bool handle_key(Control& control, int key_code) {
  if (!takes_key(control, key_code)) return false;
  if (key_code == kSpace || key_code == kEnter) return press(control);
  const int direction = key_code == kRight || key_code == kUp ? 1 : -1;
  if (control.access_role() == AccessRole::kSlider) {
    if (!control.enabled() || !control.on_step) return false;
    control.on_step(direction);
    control.tell_value_changed();
    return true;
  }
  Control* next = neighbour_tab(control, direction);
  if (next == nullptr) return false;
  press(*next);
  next->set_focus();
  return true;
}

}  // namespace pelmora::platform::access
