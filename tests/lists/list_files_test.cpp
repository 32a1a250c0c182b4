#include "lists/list_files.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "lists/list_pages.h"
#include "support/temp_folder.h"

namespace pelmora::lists {
namespace {

using testing::TempFolder;

class RecordingView : public ListPageView {
 public:
  void show_list_page(std::string_view list_file, const std::string& page_path) override {
    shown.emplace_back(list_file, page_path);
  }
  std::vector<std::pair<std::string, std::string>> shown;
};

// Whether the page has a row for line `line` that shows `shown` (its links also carry the check
// of the record, which the list pages' own tests spell out).
bool has_row(const std::string& page, int line, const std::string& shown) {
  return std::regex_search(
      page, std::regex("open://" + std::to_string(line) + "-[0-9a-f]{8}>" + shown + "<"));
}

std::string task(int id, const std::string& name, int position = 0) {
  return std::to_string(id) + "|" + name + "|L|qvod%3A//x|7|" + std::to_string(id) + "|" +
         std::to_string(position);
}

class ListFilesTest : public ::testing::Test {
 protected:
  TempFolder folder;
  RecordingView view;
  ListPlace place{folder.path(), &view};
};

TEST_F(ListFilesTest, AddTaskMovesItsIdentifierToTheTopAndKeepsTheOtherOrder) {
  folder.write("date.dat", task(3, "c") + "\r\n" + task(12, "old", 55) + "\r\n" +
                               "x12|not a number|L|a|1|1|9\r\n" + " 12|blank padded|L|a|1|1|9\r\n" +
                               task(5, "e") + "\r\n\r\n");
  ASSERT_TRUE(add_task(place, 12, "new", "L", "qvod%3A//x", 7, 12, 0));
  EXPECT_EQ(folder.read("date.dat"), task(12, "new") + "\r\n" + task(3, "c") + "\r\n" +
                                         "x12|not a number|L|a|1|1|9\r\n" + task(5, "e") +
                                         "\r\n\r\n");
  ASSERT_EQ(view.shown.size(), 1u);
  EXPECT_EQ(view.shown[0].first, "date.dat");
  EXPECT_EQ(view.shown[0].second, folder.file("c.htm"));
  EXPECT_TRUE(has_row(folder.read("c.htm"), 1, "new"));
}

TEST_F(ListFilesTest, AddKeepsTheFirstHundredLinesOfALongList) {
  std::string old;
  for (int id = 1; id <= 150; ++id) old += task(id, "p") + "\r\n";
  folder.write("date.dat", old);
  ASSERT_TRUE(add_task(place, 999, "p", "L", "qvod%3A//x", 7, 999, 0));
  std::string expected = task(999, "p") + "\r\n";
  for (int id = 1; id <= 100; ++id) expected += task(id, "p") + "\r\n";
  EXPECT_EQ(folder.read("date.dat"), expected + "\r\n");
}

TEST_F(ListFilesTest, AddsToAFreshListEndWithTheEmptyLineAsEachListDoes) {
  ASSERT_TRUE(ensure_list(folder.path(), kNetworkList));
  ASSERT_TRUE(ensure_list(folder.path(), kLocalList));
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  ASSERT_TRUE(add_task(place, 4, "n", "L", "qvod%3A//x", 7, 4, 0));
  EXPECT_EQ(folder.read("date.dat"), task(4, "n") + "\r\n\r\n");

  // The local list keeps its trailing empty line only while it holds the new record alone.
  ASSERT_TRUE(add_local(place, "a.rmvb", "/v/a.rmvb", 0));
  EXPECT_EQ(folder.read("date_f.dat"), "a.rmvb|/v/a.rmvb|0\r\n\r\n");
  ASSERT_TRUE(add_local(place, "A.rmvb", "/v/A.rmvb", 0));
  ASSERT_TRUE(add_local(place, "a.rmvb", "/v/a.rmvb", 0));
  EXPECT_EQ(folder.read("date_f.dat"), "a.rmvb|/v/a.rmvb|0\r\nA.rmvb|/v/A.rmvb|0\r\n");
  EXPECT_EQ(view.shown.back().second, folder.file("f.htm"));

  folder.write("date.dat", "keep\r\n");
  ASSERT_TRUE(ensure_list(folder.path(), kNetworkList));
  EXPECT_EQ(folder.read("date.dat"), "keep\r\n");
}

TEST_F(ListFilesTest, AnEntryWhoseTextWouldBreakTheListIsNotRecorded) {
  folder.write("date.dat", "\r\n");
  folder.write("date_f.dat", "\r\n");
  EXPECT_FALSE(add_task(place, 1, "a|b", "L", "x", 1, 1, 0));
  EXPECT_FALSE(add_task(place, 1, "n", "L\n2", "x", 1, 1, 0));
  EXPECT_FALSE(add_task(place, 1, "n", "L", "x\r", 1, 1, 0));
  EXPECT_FALSE(add_local(place, "a|b.avi", "/v/a|b.avi", 0));
  EXPECT_FALSE(add_local(place, "a.avi", "/v/new\nline/a.avi", 0));
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  EXPECT_EQ(folder.read("date_f.dat"), "\r\n");
  EXPECT_FALSE(folder.has("c.htm"));
  EXPECT_TRUE(view.shown.empty());
}

TEST_F(ListFilesTest, OperationsOnAMissingListWriteNothingAndClearEmptiesAList) {
  EXPECT_FALSE(add_task(place, 1, "n", "L", "x", 1, 1, 0));
  EXPECT_FALSE(add_local(place, "a", "/a", 0));
  EXPECT_FALSE(set_task_pos(place, 1, 5));
  EXPECT_FALSE(set_local_pos(place, "/a", 5));
  EXPECT_FALSE(remove_line(place, kLocalList, 1));
  EXPECT_FALSE(clear_list(place, kNetworkList));
  EXPECT_FALSE(folder.has("date.dat") || folder.has("date_f.dat") || folder.has("c.htm") ||
               folder.has("f.htm"));
  EXPECT_TRUE(view.shown.empty());

  folder.write("date_f.dat", "a|/a|0\r\n");
  ASSERT_TRUE(clear_list(place, kLocalList));
  EXPECT_EQ(folder.read("date_f.dat"), "\r\n");
  EXPECT_NE(folder.read("f.htm").find("暂无记录"), std::string::npos);
}

TEST_F(ListFilesTest, SetTaskPosRewritesRecordsOnlyAndUpdatesEveryMatch) {
  const std::string records =
      task(3, "c", 8) + "\r\n" + "x7|n|L|a|1|1|9\r\n" + "7|short\r\n" + task(4, "d") + "\r\n";
  folder.write("date.dat", "\r\n" + task(3, "c", 8) + "\r\nno record\n" + "x7|n|L|a|1|1|9\r\n" +
                               "7|short\r\n" + task(4, "d") + "\r\n\r\n");
  ASSERT_TRUE(set_task_pos(place, 42, 100));
  EXPECT_EQ(folder.read("date.dat"), records);

  folder.write("date.dat", "007|n|L|a|1|1|9\r\n" + task(7, "m", 3) + "\r\n" + task(3, "c"));
  ASSERT_TRUE(set_task_pos(place, 7, 250));
  EXPECT_EQ(folder.read("date.dat"),
            "7|n|L|a|1|1|250\r\n" + task(7, "m", 250) + "\r\n" + task(3, "c") + "\r\n");
  // The rewrite drops the lines that are not records, which moves the records to other lines:
  // the page follows, so that its rows name the lines their records are on.
  EXPECT_EQ(folder.read("c.htm"), page_text(folder.read("date.dat"), false));
  EXPECT_EQ(view.shown.size(), 2u);

  folder.write("date_f.dat", "a|/v/a|1\r\nA|/v/A|2\r\nb|/v/a\r\n");
  ASSERT_TRUE(set_local_pos(place, "/v/a", 77));
  EXPECT_EQ(folder.read("date_f.dat"), "a|/v/a|77\r\nA|/v/A|2\r\nb|/v/a\r\n");
}

TEST_F(ListFilesTest, RemoveLineTakesThePhysicalLineAndLeavesOneLineEnd) {
  folder.write("date.dat", "\r\n" + task(1, "a") + "\r\n" + task(2, "b") + "\r\n\r\n");
  ASSERT_TRUE(remove_line(place, kNetworkList, 2));
  EXPECT_EQ(folder.read("date.dat"), "\r\n" + task(2, "b") + "\r\n");
  ASSERT_TRUE(remove_line(place, kNetworkList, 2));
  EXPECT_EQ(folder.read("date.dat"), "\r\n");
  EXPECT_EQ(view.shown.size(), 2u);
}

// The number a page shows for a record must be the line remove_line takes out, whatever line
// ends the file was written with.
TEST_F(ListFilesTest, PageNumbersAndRemovalAgreeForEveryLineEnd) {
  for (const std::string end : {"\r\n", "\n"}) {
    for (const bool final_end : {true, false}) {
      SCOPED_TRACE(std::string(end == "\n" ? "LF" : "CR LF") +
                   (final_end ? ", final end" : ", no final end"));
      const std::string list = "junk" + end + "A|/a|0" + end + "B|/b|0" + (final_end ? end : "");
      const std::string page = page_text(list, /*local=*/true);
      EXPECT_TRUE(has_row(page, 2, "A"));
      EXPECT_TRUE(has_row(page, 3, "B"));
      folder.write("date_f.dat", list);
      ASSERT_TRUE(remove_line(place, kLocalList, 3));
      EXPECT_EQ(folder.read("date_f.dat"), "junk\r\nA|/a|0\r\n");
      folder.write("date_f.dat", list);
      ASSERT_TRUE(add_local(place, "C", "/c", 0));
      EXPECT_EQ(folder.read("date_f.dat"), "C|/c|0\r\nA|/a|0\r\nB|/b|0\r\n");
    }
  }
  // A CR that is not followed by LF belongs to its line.
  folder.write("date_f.dat", "A|/a|0\rB|/b|0\r\n");
  ASSERT_TRUE(set_local_pos(place, "/b", 1));
  EXPECT_EQ(folder.read("date_f.dat"), "A|/a|0\rB|/b|0\r\n");
}

TEST_F(ListFilesTest, GarbageAndHugeLinesNeverCostASoundRecord) {
  const std::string garbage = std::string("\xff\xfe\0|\xc3(|0", 9);
  const std::string huge(10 * 1024 * 1024, 'x');
  const std::string huge_record = std::string(10 * 1024 * 1024, 'y') + "|/big|0";
  folder.write("date_f.dat", garbage + "\r\n" + huge + "\r\n" + huge_record + "\nGood|/g|0");
  ASSERT_TRUE(add_local(place, "New", "/n", 0));
  EXPECT_EQ(folder.read("date_f.dat"),
            "New|/n|0\r\n" + garbage + "\r\n" + huge_record + "\r\nGood|/g|0\r\n");
  ASSERT_TRUE(set_local_pos(place, "/g", 12));
  EXPECT_EQ(folder.read("date_f.dat"),
            "New|/n|0\r\n" + garbage + "\r\n" + huge_record + "\r\nGood|/g|12\r\n");
  EXPECT_TRUE(has_row(folder.read("f.htm"), 4, "Good"));
}

// Lowers the file size limit so that the next rewrite fails as on a full disk; this fails for
// every user, root included, unlike a read-only folder.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lowered = old_;
    lowered.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(ListFilesTest, AFailedRewriteKeepsTheOldListAndPage) {
  folder.write("date.dat", task(1, "a") + "\r\n\r\n");
  folder.write("c.htm", "old page");
  const std::string long_name(4096, 'n');
  {
    FileSizeLimit limit(1024);
    EXPECT_FALSE(add_task(place, 2, long_name, "L", "x", 1, 1, 0));
  }
  EXPECT_EQ(folder.read("date.dat"), task(1, "a") + "\r\n\r\n");
  EXPECT_EQ(folder.read("c.htm"), "old page");
  EXPECT_TRUE(view.shown.empty());
}

}  // namespace
}  // namespace pelmora::lists
