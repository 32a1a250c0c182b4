// Loads the service's pages in headless Chromium and checks that their scripts run without an
// uncaught error. Skipped where Chromium is not installed (install group "browser").
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "demo_service.h"
#include "support/temp_folder.h"

namespace pelmora::service {
namespace {

namespace fs = std::filesystem;

constexpr const char* kChromium = "/usr/bin/chromium";

std::string read_whole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct PageCase {
  const char* name;
  const char* target;    // "PORT" stands for the service's port
  const char* expected;  // text the loaded page must show
};

class PageScripts : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageScripts, LoadsWithoutScriptErrors) {
  if (!fs::exists(kChromium)) GTEST_SKIP() << "Chromium is not installed";
  testing::TempFolder folder;
  const fs::path media = fs::path(folder.path()) / "media";
  fs::create_directory(media);
  std::ofstream(media / "p103-s1-e01.webm") << "not really a clip";
  ServiceOptions options;
  options.media_folder = media;
  DemoService service(options);
  ASSERT_TRUE(service.start());

  std::string target = GetParam().target;
  if (const size_t at = target.find("PORT"); at != std::string::npos) {
    target.replace(at, 4, std::to_string(service.port()));
  }
  const fs::path dom = fs::path(folder.path()) / "dom.html";
  const fs::path log = fs::path(folder.path()) / "chromium.log";
  const std::string command =
      std::string("timeout 90 ") + kChromium +
      " --headless --no-sandbox --disable-gpu --disable-background-networking"
      " --disable-component-update --disable-sync --no-first-run --user-data-dir='" +
      folder.path() + "/profile' --enable-logging=stderr --v=0 --dump-dom '" + service.base_url() +
      target + "' >'" + dom.string() + "' 2>'" + log.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << read_whole(log);

  const std::string page = read_whole(dom);
  const std::string messages = read_whole(log);
  EXPECT_NE(page.find(GetParam().expected), std::string::npos) << page;
  EXPECT_NE(page.find("</html>"), std::string::npos);
  EXPECT_EQ(messages.find("Uncaught"), std::string::npos) << messages;
}

INSTANTIATE_TEST_SUITE_P(
    DemoPages, PageScripts,
    ::testing::Values(
        PageCase{"Home", "", "Harbour Lights"},
        PageCase{"Search", "search.asp?searchword=%E6%98%9F%E5%A4%9C", "星夜列车"},
        PageCase{"EpisodeList", "pp.htm?101-1-2-%u5C71%u6D77%u4E4B%u95F4-0", "▶ 第2集"},
        PageCase{"EpisodeListOpening", "pp.htm?101-1-2-%u5C71%u6D77%u4E4B%u95F4-13", "山海之间"},
        PageCase{"WebPlayer", "play.htm?html5$$$http%3A//127.0.0.1%3APORT/media/p103-s1-e01.webm",
                 "<video id=\"v\""},
        PageCase{"Tv", "tv", "电视直播"}, PageCase{"Music", "tv/mp3.htm", "音乐"},
        PageCase{"TvChannel", "tv/live.htm?c=1", "<video id=\"m\""},
        PageCase{"MusicTrack", "tv/song.htm?t=2", "<audio id=\"m\""},
        PageCase{"Novels", "novels/", "小说频道"}, PageCase{"Apps", "apps/", "应用推荐"},
        PageCase{"PlayerDownload", "player/", "播放器下载"}, PageCase{"About", "about/", "关于"},
        PageCase{"Advert", "js/ads/qvodad.html", "广告位"},
        PageCase{"FloatingPromotion", "js/ads/fudong.html", "今日推荐"},
        PageCase{"ExitRecommendation", "js/ads/tui.html", "推荐"},
        PageCase{"NotFound", "nothing", "404"}),
    [](const ::testing::TestParamInfo<PageCase>& param_info) {
      return std::string(param_info.param.name);
    });

}  // namespace
}  // namespace pelmora::service
