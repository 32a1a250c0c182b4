#include <filesystem>

#include "lists/list_lines.h"
#include "platform/files.h"
#include "support/main_window_fixture.h"

namespace pelmora::app {
namespace {

using platform::Answer;

class ListActions : public pelmora::testing::MainWindowTest {
 protected:
  // Three network tasks; the second is a download named "episode07.rmvb" in the engine's list.
  void write_tasks() {
    folder.write("date.dat",
                 "\r\n"
                 "11|%u540D|l1|http%3A//127.0.0.1/a.mp4|1|1|0\r\n"
                 "12|%u540D|l2|qvod%3A//9%7CHASH%7Cepisode07.rmvb%7C|1|2|0\r\n"
                 "13|%u540D|l3|http%3A//127.0.0.1/c.mp4|1|3|0\r\n");
  }
  // The engine's folder, its settings naming `saves` as the download folder.
  std::string make_engine(bool with_settings = true) {
    const std::string engine = folder.file("engine");
    std::filesystem::create_directories(engine);
    std::filesystem::create_directories(folder.file("saves"));
    if (with_settings) {
      folder.write("engine/QvodPlayer.xml", "<Config>\r\n<Path Defaultsavepath=\"" +
                                                folder.file("saves") + "/\" />\r\n</Config>\r\n");
    }
    set_setting("S_q", "qvodw", engine + "/");
    return folder.file("saves");
  }
};

TEST_F(ListActions, TheLabelClearsTheLocalListOnlyAfterAYes) {
  BA1& ba1 = open_window();
  lay_out(ba1);
  folder.write("date_f.dat", "a.mp4|/m/a.mp4|0\r\n");
  click_on(ba1, ba1.npc[9]);  // the playback tab holds the side panel
  click_on(ba1, ba1.npc[16]);
  ASSERT_EQ(ba1.qk.caption(), "∴ 清空列表");
  click_on(ba1, ba1.qk);
  EXPECT_EQ(ba1.qk.fore_color(), 5921370u);
  EXPECT_EQ(headless.dialogs.last()->text, "确定要删除全部[本地播放]列表吗？");
  EXPECT_EQ(folder.read("date_f.dat"), "a.mp4|/m/a.mp4|0\r\n");
  headless.dialogs.answer_next(Answer::kYes);
  click_on(ba1, ba1.qk);
  EXPECT_EQ(folder.read("date_f.dat"), "\r\n");
  EXPECT_NE(folder.read("f.htm").find("暂无记录"), std::string::npos);
}

TEST_F(ListActions, TheTaskMenuClearsTheNetworkList) {
  BA1& ba1 = open_window();
  lay_out(ba1);
  write_tasks();
  click_on(ba1, ba1.npc[9]);  // the playback tab holds the side panel
  ASSERT_EQ(ba1.qk.caption(), "∴ 管理任务");
  headless.backend.choose_next_menu_item("删除任务列表");
  headless.dialogs.answer_next(Answer::kYes);
  const auto refreshes = ba1.Web5.requests().size();
  click_on(ba1, ba1.qk);
  EXPECT_EQ(headless.backend.popups().back(), "c_fie");
  EXPECT_EQ(headless.dialogs.last()->text, "确定要删除全部[网络任务]列表吗？");
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  ASSERT_GT(ba1.Web5.requests().size(), refreshes);
  EXPECT_EQ(ba1.Web5.last_request()->kind, platform::PaneRequest::Kind::kRefresh);
}

TEST_F(ListActions, OnlyEntryLinksBringUpTheEntryMenuWhoseCommandsUseTheLinesNumber) {
  BA1& ba1 = open_window();
  write_tasks();
  ba1.Web3.raise_download_complete();
  EXPECT_FALSE(ba1.Web3.raise_context_menu(""));
  EXPECT_FALSE(ba1.Web3.raise_context_menu("delk://2"));
  EXPECT_TRUE(headless.backend.popups().empty());

  headless.backend.choose_next_menu_item("删除任务");
  EXPECT_FALSE(ba1.Web3.raise_context_menu("open://4/"));
  EXPECT_EQ(ba1.chrome.list_link, "open://4/");
  EXPECT_EQ(headless.backend.popups().back(), "webc");
  EXPECT_EQ(folder.read("date.dat"),
            "\r\n11|%u540D|l1|http%3A//127.0.0.1/a.mp4|1|1|0\r\n"
            "12|%u540D|l2|qvod%3A//9%7CHASH%7Cepisode07.rmvb%7C|1|2|0\r\n");

  headless.backend.choose_next_menu_item("播放选定");
  ba1.Web3.raise_context_menu("open://3");
  EXPECT_EQ(player().address, "qvod://9|HASH|episode07.rmvb|");
}

TEST_F(ListActions, DeletingADownloadMatchesTheFilesOnHalfTheStem) {
  BA1& ba1 = open_window();
  write_tasks();
  const std::string saves = make_engine();
  // "episode07" has nine characters: half of it, 4.5, rounds to the even 4, so "epis" matches.
  for (const char* name : {"epis.part", "episode07.rmvb", "epi.txt", "other.rmvb"}) {
    folder.write(std::string("saves/") + name, "x");
  }
  ba1.chrome.list_link = "open://3";
  headless.dialogs.answer_next(Answer::kYes);
  ba1.eee();
  const auto* question = headless.dialogs.last();
  ASSERT_NE(question, nullptr);
  EXPECT_NE(question->text.find("确定要删除 [" + saves + "/] 下面的这些文件吗？\r\n\r\n"),
            std::string::npos);
  EXPECT_NE(question->text.find("epis.part\r\n"), std::string::npos);
  EXPECT_NE(question->text.find("episode07.rmvb\r\n"), std::string::npos);
  EXPECT_EQ(question->text.find("epi.txt"), std::string::npos);
  EXPECT_FALSE(folder.has("saves/epis.part"));
  EXPECT_FALSE(folder.has("saves/episode07.rmvb"));
  EXPECT_TRUE(folder.has("saves/epi.txt"));
  EXPECT_TRUE(folder.has("saves/other.rmvb"));
  // The entry goes too.
  EXPECT_EQ(folder.read("date.dat").find("|l2|"), std::string::npos);
}

TEST_F(ListActions, ANoStillRemovesTheEntryAndOpensTheDownloadFolder) {
  BA1& ba1 = open_window();
  write_tasks();
  const std::string saves = make_engine();
  folder.write("saves/episode07.rmvb", "x");
  ba1.chrome.list_link = "open://3/";
  headless.dialogs.answer_next(Answer::kNo);
  ba1.eee();
  EXPECT_TRUE(folder.has("saves/episode07.rmvb"));
  EXPECT_EQ(headless.launcher.opened_folders, std::vector<std::string>{saves + "/"});
  EXPECT_EQ(folder.read("date.dat").find("|l2|"), std::string::npos);
}

// The menu on a row of a page left out of step with its list: the files of the record that now
// stands on that line are neither offered for deletion nor deleted, and no entry goes.
TEST_F(ListActions, DeletingDownloadsFromARowOfAnOlderPageTouchesNothing) {
  BA1& ba1 = open_window();
  write_tasks();
  make_engine();
  folder.write("saves/episode07.rmvb", "x");
  // The row was made for the record that stood on line 3 before: task 13, not the download.
  const std::string stale = "open://3-" + lists::detail::row_check("13|%u540D|l3|x|1|3|0");
  ba1.chrome.list_link = stale + "/";
  const std::string list = folder.read("date.dat");
  headless.dialogs.answer_next(Answer::kYes);
  ba1.eee();
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_TRUE(folder.has("saves/episode07.rmvb"));
  EXPECT_EQ(folder.read("date.dat"), list);

  // The row of the current page does delete them.
  ba1.chrome.list_link =
      "open://3-" + lists::detail::row_check("12|%u540D|l2|qvod%3A//9%7CHASH%7Cepisode07.rmvb%7C");
  headless.dialogs.answer_next(Answer::kYes);
  ba1.eee();
  EXPECT_FALSE(folder.has("saves/episode07.rmvb"));
  EXPECT_EQ(folder.read("date.dat").find("|l2|"), std::string::npos);
}

TEST_F(ListActions, AnEntryThatIsNotADownloadIsOnlyRemoved) {
  BA1& ba1 = open_window();
  write_tasks();
  make_engine();
  folder.write("saves/a.mp4", "x");
  ba1.chrome.list_link = "open://2";
  ba1.eee();
  EXPECT_TRUE(headless.dialogs.shown().empty());
  EXPECT_TRUE(folder.has("saves/a.mp4"));
  EXPECT_EQ(folder.read("date.dat").find("|l1|"), std::string::npos);
}

TEST_F(ListActions, TheDownloadFolderOpensOnlyWithFilesAndNeverUnderAPinnedWindow) {
  BA1& ba1 = open_window();
  const std::string saves = make_engine();
  ba1.qk_xw();
  EXPECT_TRUE(headless.launcher.opened_folders.empty());  // nothing downloaded yet
  folder.write("saves/a.rmvb", "x");
  lay_out(ba1);
  click_on(ba1, ba1.npc[4]);  // pin
  ASSERT_EQ(ba1.npc[4].tool_tip(), "取消置顶");
  ba1.qk_xw();
  EXPECT_EQ(ba1.npc[4].tool_tip(), "置顶");
  EXPECT_FALSE(ba1.top_most());
  EXPECT_EQ(headless.launcher.opened_folders, std::vector<std::string>{saves + "/"});
}

}  // namespace
}  // namespace pelmora::app
