#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/clock.h"
#include "platform/control.h"

namespace pelmora::platform {
class Timer;
}

namespace pelmora::headless {

// The headless backend: forms keep their model only, timers run from a virtual clock that the
// test moves forward, and popup menus answer with the item a test chose in advance.
class HeadlessBackend final : public platform::Backend,
                              public platform::Clock,
                              private platform::ControlPeer {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // platform::Backend
  void attach(platform::Form& form) override;
  void detach(platform::Form& form) override;
  void pump_events() override { ++pumps_; }
  void popup_menu(platform::Form& form, platform::MenuItem& menu) override;

  // platform::Clock
  std::int64_t now_ms() const override { return now_ms_; }
  platform::LocalTime local_time() const override { return local_time_; }
  void set_local_time(const platform::LocalTime& time) { local_time_ = time; }

  // Moves the virtual clock forward by `ms`, running every timer tick that falls due on the
  // way, in time order (ties in the order the timers were started). A handler that enables,
  // disables or restarts a timer changes the ticks that follow.
  void advance(std::int64_t ms);
  // The number of ticks run so far.
  int ticks_run() const { return ticks_run_; }
  int pumps() const { return pumps_; }

  // Tasks handed to the user-interface thread from other threads (the HTTP fetch's replies).
  // `post` may be called from any thread; the tasks run only when a test lets them, so the
  // order of a reply against the virtual clock's ticks is the test's to choose.
  void post(std::function<void()> task);
  // Runs the tasks that have arrived so far, oldest first (and those they post in turn).
  // Returns how many ran.
  int run_posted();
  // Waits, in real time, until a task has arrived or `limit` has passed; true when one has.
  bool wait_for_posted(std::chrono::milliseconds limit);

  // Popup menus: the caption of the item to choose at the next popup (empty: close the menu
  // without choosing). Each popup is recorded by the menu's name.
  void choose_next_menu_item(std::string caption) { menu_choices_.push_back(std::move(caption)); }
  const std::vector<std::string>& popups() const { return popups_; }

 private:
  struct Scheduled {
    platform::Timer* timer;
    std::int64_t due;
    std::uint64_t order;
  };

  void changed(platform::Control& control, platform::Property what) override;
  void released(platform::Control& control) override;
  void schedule(platform::Timer& timer);
  void unschedule(platform::Timer& timer);

  std::int64_t now_ms_ = 0;
  platform::LocalTime local_time_{2026, 12, 7, 20, 0, 0};
  std::vector<Scheduled> scheduled_;
  std::vector<platform::Form*> forms_;
  std::uint64_t next_order_ = 0;
  int ticks_run_ = 0;
  int pumps_ = 0;
  std::vector<std::string> menu_choices_;
  std::vector<std::string> popups_;
  std::mutex posted_mutex_;
  std::condition_variable posted_arrived_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace pelmora::headless
