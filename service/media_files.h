#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora::service {

// A file of the media folder asked for by name. Only ordinary files that lie inside the folder
// once every link is followed are served; names that try to climb out ("..", an absolute path,
// a backslash, a NUL) are refused before the file system is asked anything.
struct MediaLookup {
  enum class Result { found, not_found, forbidden };
  Result result = Result::not_found;
  std::filesystem::path path;  // the resolved file, when found
  std::uintmax_t size = 0;
};

MediaLookup find_media(const std::filesystem::path& folder, std::string_view name);

// The content type of a media file by its extension.
std::string media_type(std::string_view name);

}  // namespace pelmora::service
