#include "player_settings.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelmora::engine {

std::string save_folder_in(std::string_view settings_text) {
  constexpr std::string_view kKey = "Defaultsavepath=";
  constexpr std::string_view kMarker = "Defaultsavepath=\"";
  while (!settings_text.empty()) {
    const std::size_t end = settings_text.find('\n');
    const std::string_view line = settings_text.substr(0, end);
    if (line.find(kKey) != std::string_view::npos) {
      const std::size_t begin = line.find(kMarker);
      if (begin == std::string_view::npos) return {};
      const std::size_t inside = begin + kMarker.size();
      const std::size_t quote = line.find('"', inside);
      if (quote == std::string_view::npos) return {};
      return std::string(line.substr(inside, quote - inside));
    }
    if (end == std::string_view::npos) break;
    settings_text.remove_prefix(end + 1);
  }
  return {};
}

std::string configured_save_folder(const std::string& player_folder, const std::string& fallback) {
  std::ifstream in(player_folder + "/QvodPlayer.xml", std::ios::binary);
  if (!in) return fallback;
  std::ostringstream text;
  text << in.rdbuf();
  return save_folder_in(text.str());
}

std::string default_save_folder() {
  const char* home = std::getenv("HOME");
  std::string folder = home != nullptr ? home : "";
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + "Media/";
}

}  // namespace pelmora::engine
