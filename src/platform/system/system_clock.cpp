#include "platform/system/system_clock.h"

#include <time.h>

#include <chrono>

namespace pelmora::platform {

std::int64_t SystemClock::now_ms() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

LocalTime SystemClock::local_time() const {
  const time_t now = ::time(nullptr);
  struct tm parts {};
  ::localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

}  // namespace pelmora::platform
