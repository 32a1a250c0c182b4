#pragma once

#include <string>

namespace pelmora::testing {

// Makes a short test clip with ffmpeg: a moving test picture (320x240, 25 frames a second) with a
// 440 Hz tone, `seconds` long, in Matroska (MPEG-4 video, MP2 sound), written to `path`. Returns
// false when ffmpeg is not installed or fails; `why` then says which.
bool make_test_clip(const std::string& path, int seconds, std::string* why = nullptr);

// Makes a Matroska file that holds one subtitle line and no picture or sound: a file whose
// format a player knows, with nothing in it to play.
bool make_subtitle_only_file(const std::string& path, std::string* why = nullptr);

}  // namespace pelmora::testing
