#include "media_files.h"

#include <system_error>

namespace pelmora::service {
namespace fs = std::filesystem;

namespace {

bool plain_relative_name(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

// Whether `inner` is `outer` or lies below it (both already canonical).
bool lies_within(const fs::path& outer, const fs::path& inner) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (i == inner.end() || *o != *i) return false;
  }
  return true;
}

}  // namespace

MediaLookup find_media(const fs::path& folder, std::string_view name) {
  using Result = MediaLookup::Result;
  if (name.empty()) return {};
  if (!plain_relative_name(name)) return {Result::forbidden, {}, 0};
  std::error_code error;
  const fs::path root = fs::canonical(folder, error);
  if (error) return {};
  const fs::path resolved = fs::canonical(root / fs::path(name), error);
  if (error) return {};
  if (!lies_within(root, resolved)) return {Result::forbidden, {}, 0};
  if (!fs::is_regular_file(resolved, error)) return {};
  const auto size = fs::file_size(resolved, error);
  if (error) return {};
  return {Result::found, resolved, size};
}

std::string media_type(std::string_view name) {
  if (name.ends_with(".mp4")) return "video/mp4";
  if (name.ends_with(".webm")) return "video/webm";
  if (name.ends_with(".mkv")) return "video/x-matroska";
  if (name.ends_with(".mp3")) return "audio/mpeg";
  return "application/octet-stream";
}

}  // namespace pelmora::service
