#pragma once

#include "platform/clock.h"

namespace pelmora::platform {

class SystemClock final : public Clock {
 public:
  std::int64_t now_ms() const override;
  LocalTime local_time() const override;
};

}  // namespace pelmora::platform
