#pragma once

#include <cstdint>

namespace pelmora::platform {

// A calendar reading in local time.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Time as the program reads it. The real clock follows the system; the headless one is moved
// by the tests.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic scale (only differences mean something).
  virtual std::int64_t now_ms() const = 0;
  virtual LocalTime local_time() const = 0;
};

}  // namespace pelmora::platform
