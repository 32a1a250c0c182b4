#include "platform/headless/headless_backend.h"

#include <algorithm>

#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::headless {

using platform::Control;
using platform::Form;
using platform::Property;
using platform::Timer;

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() {
  for (Form* form : forms_) {
    for (Control* control : form->controls()) control->attach_peer(nullptr);
    form->attach_peer(nullptr);
    form->set_backend(nullptr);
  }
}

void HeadlessBackend::attach(Form& form) {
  if (std::find(forms_.begin(), forms_.end(), &form) != forms_.end()) return;
  forms_.push_back(&form);
  form.set_backend(this);
  for (Control* control : form.controls()) {
    if (auto* timer = dynamic_cast<Timer*>(control)) {
      timer->attach_peer(this);
      schedule(*timer);
    }
  }
}

void HeadlessBackend::detach(Form& form) {
  std::erase(forms_, &form);
  for (Control* control : form.controls()) {
    if (auto* timer = dynamic_cast<Timer*>(control)) unschedule(*timer);
    control->attach_peer(nullptr);
  }
  form.set_backend(nullptr);
}

void HeadlessBackend::changed(Control& control, Property what) {
  if (what != Property::kTimer) return;
  if (auto* timer = dynamic_cast<Timer*>(&control)) schedule(*timer);
}

void HeadlessBackend::released(Control& control) {
  // The timer part is already gone here: compare addresses only.
  std::erase_if(scheduled_, [&](const Scheduled& entry) {
    return static_cast<Control*>(entry.timer) == &control;
  });
}

void HeadlessBackend::schedule(Timer& timer) {
  unschedule(timer);
  if (!timer.timer_enabled() || timer.interval() <= 0) return;
  scheduled_.push_back(Scheduled{&timer, now_ms_ + timer.interval(), next_order_++});
}

void HeadlessBackend::unschedule(Timer& timer) {
  std::erase_if(scheduled_, [&](const Scheduled& entry) { return entry.timer == &timer; });
}

void HeadlessBackend::advance(std::int64_t ms) {
  const std::int64_t target = now_ms_ + (ms > 0 ? ms : 0);
  for (;;) {
    auto next = std::min_element(scheduled_.begin(), scheduled_.end(),
                                 [](const Scheduled& a, const Scheduled& b) {
                                   return a.due != b.due ? a.due < b.due : a.order < b.order;
                                 });
    if (next == scheduled_.end() || next->due > target) break;
    now_ms_ = next->due;
    Timer* timer = next->timer;
    // The next period starts now; a handler that changes the timer reschedules it again.
    next->due += timer->interval();
    next->order = next_order_++;
    ++ticks_run_;
    timer->raise_timer();
  }
  now_ms_ = target;
}

void HeadlessBackend::post(std::function<void()> task) {
  {
    const std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(task));
  }
  posted_arrived_.notify_all();
}

int HeadlessBackend::run_posted() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      const std::lock_guard lock(posted_mutex_);
      if (posted_.empty()) return ran;
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
    ++ran;
  }
}

bool HeadlessBackend::wait_for_posted(std::chrono::milliseconds limit) {
  std::unique_lock lock(posted_mutex_);
  return posted_arrived_.wait_for(lock, limit, [this] { return !posted_.empty(); });
}

void HeadlessBackend::popup_menu(Form&, platform::MenuItem& menu) {
  popups_.push_back(menu.name());
  if (menu_choices_.empty()) return;
  const std::string choice = menu_choices_.front();
  menu_choices_.erase(menu_choices_.begin());
  for (platform::MenuItem* item : menu.items()) {
    if (item->caption() == choice && item->visible()) {
      item->raise_click();
      return;
    }
  }
}

}  // namespace pelmora::headless
