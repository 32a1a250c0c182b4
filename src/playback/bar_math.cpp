#include "playback/bar_math.h"

#include <cmath>
#include <limits>

namespace pelmora::playback::bars {

int round_even(double value) {
  if (!std::isfinite(value)) return 0;
  constexpr double kMax = std::numeric_limits<int>::max();
  constexpr double kMin = std::numeric_limits<int>::min();
  // The program never changes the rounding mode, so nearbyint rounds to nearest, ties to even.
  const double rounded = std::nearbyint(value);
  if (rounded >= kMax) return std::numeric_limits<int>::max();
  if (rounded <= kMin) return std::numeric_limits<int>::min();
  return static_cast<int>(rounded);
}

int volume_percent(int left, int max) {
  if (max <= 0) return 0;
  return static_cast<int>(static_cast<double>(left) / max * 100.0);
}

int volume_thumb(int volume, int max) {
  return round_even(static_cast<double>(max) * volume / 100.0);
}

int seek_thumb(int position, int duration, int span) {
  if (duration == 0) return 0;
  return round_even(static_cast<double>(position) / duration * span);
}

std::optional<int> seek_target(int left, int span, int duration, int back_off) {
  if (span <= 0) return std::nullopt;
  return round_even(static_cast<double>(left) / span * duration - back_off);
}

}  // namespace pelmora::playback::bars
