#include "web/update_file.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace pelmora::web::update {
namespace {

using app::BA1;
using platform::Answer;

TEST(UpdateFile, SplitsFourFieldsAndDropsLineBreaksFromTheVersion) {
  const auto file = parse("1====0====1====3.1\r\n");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->exit_recommendation, "1");
  EXPECT_EQ(file->floating_promotion, "0");
  EXPECT_EQ(file->advert, "1");
  EXPECT_EQ(file->latest_version, "3.1");
  EXPECT_EQ(parse("0====1====1====3.1\n")->latest_version, "3.1");
}

TEST(UpdateFile, IgnoresABodyWithoutSeparatorsAndLeavesMissingFieldsEmpty) {
  EXPECT_FALSE(parse("").has_value());
  EXPECT_FALSE(parse("3.1\r\n").has_value());
  const auto file = parse("1====1");
  ASSERT_TRUE(file.has_value());
  EXPECT_EQ(file->floating_promotion, "1");
  EXPECT_EQ(file->advert, "");
  EXPECT_EQ(file->latest_version, "");
  EXPECT_EQ(leading_number(" 1\r\n"), 1);
  EXPECT_EQ(leading_number("3.1beta"), 3.1);
  EXPECT_EQ(leading_number("x1"), 0);
}

class UpdateCheck : public pelmora::testing::MainWindowTest {
 protected:
  void serve(const std::string& body) {
    service.on("/lib/wen.txt", [body](const std::string&, const std::string&) {
      return pelmora::testing::LoopbackServer::Reply{200, body};
    });
  }
  BA1& open_and_check() {
    BA1& ba1 = open_window();
    ba1.show();
    headless.backend.advance(6000);
    settle();
    return ba1;
  }
  int questions() const {
    return static_cast<int>(std::count_if(
        headless.dialogs.shown().begin(), headless.dialogs.shown().end(),
        [](const auto& shown) { return shown.buttons == platform::MessageButtons::kYesNo; }));
  }
  bool started(const std::string& path) const {
    return std::any_of(headless.launcher.starts.begin(), headless.launcher.starts.end(),
                       [&](const auto& start) { return start.path == path; });
  }
};

TEST_F(UpdateCheck, AsksAboutADifferentVersionAndStartsTheUpdaterBesideTheProgram) {
  serve("1====1====0====2.9\r\n");
  folder.write("update.exe", "#!/bin/sh\n");
  headless.dialogs.answer_next(Answer::kYes);
  BA1& ba1 = open_and_check();
  ASSERT_EQ(questions(), 1);
  EXPECT_EQ(headless.dialogs.last()->title, "Pelmora提示：");
  EXPECT_EQ(headless.dialogs.last()->text, "检测到最新版本 2.9 ,你需要现在升级吗？");
  EXPECT_TRUE(started(folder.file("update.exe")));
  EXPECT_TRUE(headless.launcher.opened_addresses.empty());
  // The program ends, without the recommendation window or the floating one.
  EXPECT_FALSE(ba1.exit_recommendation);
  EXPECT_FALSE(ba1.loaded());
  EXPECT_FALSE(ba1.Timer8.timer_enabled());
}

TEST_F(UpdateCheck, WithoutAnUpdaterHandsTheInstallerToTheDesktop) {
  serve("0====0====0====3.1");
  headless.dialogs.answer_next(Answer::kYes);
  open_and_check();
  ASSERT_EQ(headless.launcher.opened_addresses.size(), 1u);
  EXPECT_EQ(headless.launcher.opened_addresses[0], service.base_url() + "update/setup.exe");
}

TEST_F(UpdateCheck, DecliningStillLetsTheFloatingWindowComeAndKeepsTheExitFlag) {
  serve("1====1====0====3.1\r\n");
  headless.dialogs.answer_next(Answer::kNo);
  BA1& ba1 = open_and_check();
  EXPECT_EQ(questions(), 1);
  EXPECT_TRUE(ba1.loaded());
  EXPECT_TRUE(ba1.Timer8.timer_enabled());
  EXPECT_TRUE(ba1.exit_recommendation);
}

TEST_F(UpdateCheck, RunsOnceSixSecondsAfterLoadAndAsksNothingForTheSameVersionOrZero) {
  serve("0====1====0====3.0\r\n");
  BA1& ba1 = open_window();
  headless.backend.advance(5900);
  EXPECT_EQ(ba1.latest_version, "");
  headless.backend.advance(100);
  EXPECT_EQ(ba1.latest_version, "");  // asked, not answered yet
  settle();
  EXPECT_EQ(ba1.latest_version, "3.0");
  EXPECT_FALSE(ba1.Timer5.timer_enabled());
  EXPECT_EQ(questions(), 0);
  EXPECT_TRUE(ba1.Timer8.timer_enabled());
  serve("0====0====0====0\r\n");
  open_and_check();
  EXPECT_EQ(questions(), 0);
}

TEST_F(UpdateCheck, TheAdvertFieldShowsTheAdvertPaneUnlessItFailedToLoad) {
  serve("0====0====1====3.0");
  BA1& ba1 = open_window();
  ba1.ad_huan.set_visible(false);
  headless.backend.advance(6000);
  settle();
  EXPECT_TRUE(ba1.ad_huan.visible());
  EXPECT_FALSE(ba1.adp.visible());

  BA1& again = open_window();
  again.ad_huan.set_visible(false);
  again.adp.set_visible(true);
  again.chrome.ad_error = 1;
  headless.backend.advance(6000);
  settle();
  EXPECT_FALSE(again.ad_huan.visible());
  EXPECT_TRUE(again.adp.visible());
}

TEST_F(UpdateCheck, AMalformedOrMissingFileChangesNothingAndTheManualCheckSaysItCouldNotCheck) {
  serve("<html>not found</html>");
  BA1& ba1 = open_window();
  ba1.ad_huan.set_visible(false);
  headless.backend.advance(6000);
  settle();
  EXPECT_FALSE(ba1.ad_huan.visible());
  EXPECT_FALSE(ba1.Timer8.timer_enabled());
  EXPECT_FALSE(ba1.exit_recommendation);
  EXPECT_TRUE(headless.dialogs.shown().empty());
  // The manual check asks the service again; what it cannot read is never "the latest".
  ba1.shengji();
  settle();
  ASSERT_NE(headless.dialogs.last(), nullptr);
  EXPECT_EQ(headless.dialogs.last()->title, "提示：");
  EXPECT_EQ(headless.dialogs.last()->text,
            "无法检测升级：没有读到升级信息，请检查网络连接后再试。");
  EXPECT_EQ(service.requests(), 2);
  // Once the file can be read, the same check says there is nothing newer.
  serve("0====0====0====3.0\r\n");
  ba1.shengji();
  settle();
  EXPECT_EQ(headless.dialogs.last()->text, "你现在使用的是最新版本，无需升级！");
}

TEST_F(UpdateCheck, AHungUpdateFileHoldsNothingUpAndEndsAsAMissingOne) {
  service.on("/lib/wen.txt", [](const std::string&, const std::string&) {
    return pelmora::testing::LoopbackServer::Reply{200, "1====1====1====9.9", "text/plain", 10000};
  });
  BA1& ba1 = open_window();
  ba1.show();
  const auto start = std::chrono::steady_clock::now();
  headless.backend.advance(6000);
  // The window's timers go on while the service keeps the file.
  const int ticks = headless.backend.ticks_run();
  headless.backend.advance(3000);
  EXPECT_GE(headless.backend.ticks_run(), ticks + 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  settle();
  EXPECT_EQ(ba1.latest_version, "");
  EXPECT_FALSE(ba1.Timer8.timer_enabled());
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_EQ(service.requests(), 1);
}

TEST_F(UpdateCheck, TheManualCheckOffersAnyOtherVersionAndUsesTheUpdateInstaller) {
  serve("0====0====0====beta\r\n");
  BA1& ba1 = open_and_check();
  EXPECT_EQ(questions(), 0);  // not a number: never offered at start
  // The service names another version after the start: the manual check reads it.
  serve("0====0====0====3.1\r\n");
  headless.dialogs.answer_next(Answer::kYes);
  ba1.shengji();
  settle();
  EXPECT_EQ(questions(), 1);
  EXPECT_EQ(headless.dialogs.last()->text, "检测到最新版本 3.1 ,你需要现在升级吗？");
  EXPECT_EQ(headless.launcher.opened_addresses,
            std::vector{service.base_url() + "update/update.exe"});
  EXPECT_FALSE(ba1.loaded());
}

}  // namespace
}  // namespace pelmora::web::update
