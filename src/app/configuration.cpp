#include "app/configuration.h"

#include <cstdlib>

#include "app/ini_text.h"
#include "platform/files.h"
#include "util/text_helpers.h"

namespace pelmora::app {

namespace {

constexpr std::string_view kSection = "pelmora";

// One configuration value: the key in "pelmora.ini", its environment variable, and the field.
struct Entry {
  std::string_view key;
  const char* variable;
  std::string Configuration::*field;
};

constexpr Entry kTextEntries[] = {
    {"service_url", "PELMORA_SERVICE_URL", &Configuration::service_url},
    {"novel_site", "PELMORA_NOVEL_SITE", &Configuration::novel_site},
    {"apps_site", "PELMORA_APPS_SITE", &Configuration::apps_site},
    {"end_marker", "PELMORA_END_MARKER", &Configuration::end_marker},
    {"player_download_page", "PELMORA_PLAYER_DOWNLOAD_PAGE", &Configuration::player_download_page},
    {"maker_home_page", "PELMORA_MAKER_HOME_PAGE", &Configuration::maker_home_page},
    {"shutdown_command", "PELMORA_SHUTDOWN_COMMAND", &Configuration::shutdown_command},
};

struct NumberEntry {
  std::string_view key;
  const char* variable;
  long Configuration::*field;
};

constexpr NumberEntry kNumberEntries[] = {
    {"http_connect_timeout_ms", "PELMORA_HTTP_CONNECT_TIMEOUT_MS",
     &Configuration::http_connect_timeout_ms},
    {"http_timeout_ms", "PELMORA_HTTP_TIMEOUT_MS", &Configuration::http_timeout_ms},
};

}  // namespace

Configuration Configuration::load(std::string_view program_folder,
                                  const std::function<const char*(const char*)>& environment) {
  const auto getenv =
      environment ? environment : [](const char* name) -> const char* { return std::getenv(name); };
  const std::string file_text =
      platform::files::read(platform::files::join(program_folder, kConfigurationFile))
          .value_or(std::string());

  // The environment wins over the file; an empty value counts as not given.
  auto lookup = [&](std::string_view key, const char* variable) -> std::string {
    if (const char* value = getenv(variable); value != nullptr && *value != '\0') return value;
    return ini::find_value(file_text, kSection, key).value_or(std::string());
  };

  Configuration config;
  for (const Entry& entry : kTextEntries) config.*entry.field = lookup(entry.key, entry.variable);
  for (const NumberEntry& entry : kNumberEntries) {
    std::int64_t number = 0;
    // Time-outs below 100 ms or above ten minutes are mistakes; keep the default then.
    if (text::parse_whole(lookup(entry.key, entry.variable), number) && number >= 100 &&
        number <= 600000) {
      config.*entry.field = static_cast<long>(number);
    }
  }

  if (config.service_url.empty()) config.service_url = kDefaultServiceUrl;
  if (config.service_url.back() != '/') config.service_url += '/';
  // The outside sites default to the service's own stand-ins.
  const auto service_path = [&](std::string& field, std::string_view path) {
    if (field.empty()) field = config.service_url + std::string(path);
  };
  service_path(config.novel_site, "novels/");
  service_path(config.apps_site, "apps/");
  service_path(config.player_download_page, "player/");
  service_path(config.maker_home_page, "about/");
  if (config.end_marker.empty()) config.end_marker = kDefaultEndMarker;
  return config;
}

}  // namespace pelmora::app
