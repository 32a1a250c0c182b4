#pragma once

#include <optional>

// The arithmetic of the two sliders the transport bar draws itself: the volume bar (track `yin`,
// thumb `bo_v`) and the seek bar (track `gunt`, thumb `gunt1`). Positions and widths are pixels
// of the track; times are whole seconds.
namespace pelmora::playback::bars {

// The nearest whole number, ties to the even one (how the toolkit turns a fraction into a
// position or a time).
int round_even(double value);

// The volume in percent for a thumb at `left` of a track whose thumb can travel `max` pixels,
// truncated toward zero. A track with no travel (not laid out yet) gives 0.
int volume_percent(int left, int max);

// Where the volume thumb stands for a volume in percent.
int volume_thumb(int volume, int max);

// Where the seek thumb stands for a position: its share of the duration times the thumb's
// travel. 0 while the duration is not known.
int seek_thumb(int position, int duration, int span);

// The seek target for a thumb at `left`: its share of the travel times the duration, less
// `back_off` seconds. Nothing when the bar has no travel (not laid out yet).
std::optional<int> seek_target(int left, int span, int duration, int back_off);

}  // namespace pelmora::playback::bars
