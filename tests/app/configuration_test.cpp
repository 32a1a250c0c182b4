#include "app/configuration.h"

#include <gtest/gtest.h>

#include <map>

#include "support/temp_folder.h"

namespace pelmora::app {
namespace {

using pelmora::testing::TempFolder;

// An environment the test controls, instead of the process's own.
struct FakeEnvironment {
  std::map<std::string, std::string> values;
  const char* operator()(const char* name) const {
    const auto found = values.find(name);
    return found == values.end() ? nullptr : found->second.c_str();
  }
};

TEST(Configuration, DefaultsPointAtTheBundledDemoService) {
  TempFolder folder;
  const auto config = Configuration::load(folder.path(), FakeEnvironment{});
  EXPECT_EQ(config.service_url, "http://127.0.0.1:8750/");
  EXPECT_EQ(config.novel_site, "http://127.0.0.1:8750/novels/");
  EXPECT_EQ(config.apps_site, "http://127.0.0.1:8750/apps/");
  EXPECT_EQ(config.player_download_page, "http://127.0.0.1:8750/player/");
  EXPECT_EQ(config.maker_home_page, "http://127.0.0.1:8750/about/");
  EXPECT_EQ(config.end_marker, "http://pelmora-end.invalid/");
  EXPECT_EQ(config.http_connect_timeout_ms, 5000);
  EXPECT_EQ(config.http_timeout_ms, 15000);
}

TEST(Configuration, FileValuesApplyAndTheEnvironmentWins) {
  TempFolder folder;
  folder.write("pelmora.ini",
               "[Pelmora]\nservice_url = http://127.0.0.1:9000\nhttp_timeout_ms=2000\n"
               "apps_site=http://127.0.0.1:9001/apps/\nhttp_connect_timeout_ms=5\n");
  FakeEnvironment environment;
  environment.values["PELMORA_SERVICE_URL"] = "http://127.0.0.1:9100/";
  environment.values["PELMORA_SHUTDOWN_COMMAND"] = "/bin/true";
  environment.values["PELMORA_APPS_SITE"] = "";  // empty counts as not given
  const auto config = Configuration::load(folder.path(), environment);
  EXPECT_EQ(config.service_url, "http://127.0.0.1:9100/");
  EXPECT_EQ(config.novel_site, "http://127.0.0.1:9100/novels/");
  EXPECT_EQ(config.apps_site, "http://127.0.0.1:9001/apps/");
  EXPECT_EQ(config.shutdown_command, "/bin/true");
  EXPECT_EQ(config.http_timeout_ms, 2000);
  EXPECT_EQ(config.http_connect_timeout_ms, 5000);  // 5 ms is a mistake, the default stays
}

TEST(Configuration, ServiceAddressAlwaysEndsInASlash) {
  TempFolder folder;
  FakeEnvironment environment;
  environment.values["PELMORA_SERVICE_URL"] = "http://127.0.0.1:1234/site";
  EXPECT_EQ(Configuration::load(folder.path(), environment).service_url,
            "http://127.0.0.1:1234/site/");
}

}  // namespace
}  // namespace pelmora::app
