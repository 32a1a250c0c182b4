#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace pelmora::app {

// The values that are configuration rather than settings: where the service is, the outside
// sites, the end-of-playback marker, the shutdown command and the HTTP time-outs. They are read
// once, from "pelmora.ini" in the program folder (section [pelmora]), each overridable by a
// PELMORA_* environment variable, which wins.
struct Configuration {
  std::string service_url;  // ends in "/"; every service address is formed from it
  std::string novel_site;
  std::string apps_site;
  std::string end_marker;  // an address on a host that never resolves
  std::string player_download_page;
  std::string maker_home_page;
  std::string shutdown_command;  // empty: the system's power-off request
  long http_connect_timeout_ms = 5000;
  long http_timeout_ms = 15000;

  // Reads "pelmora.ini" in `program_folder` and the environment through `environment` (by
  // default the process environment). Missing or unusable values take their defaults.
  static Configuration load(std::string_view program_folder,
                            const std::function<const char*(const char*)>& environment = nullptr);
};

inline constexpr std::string_view kConfigurationFile = "pelmora.ini";
inline constexpr std::string_view kDefaultServiceUrl = "http://127.0.0.1:8750/";
inline constexpr std::string_view kDefaultEndMarker = "http://pelmora-end.invalid/";

}  // namespace pelmora::app
