#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_folder.h"

namespace pelmora::platform::files {
namespace {

using pelmora::testing::TempFolder;

TEST(Files, WriteAtomicReplacesTheWholeFileAndLeavesNoTemporaryFile) {
  TempFolder folder;
  ASSERT_TRUE(write_atomic(folder.file("a.txt"), "first"));
  ASSERT_TRUE(write_atomic(folder.file("a.txt"), "second, longer text"));
  EXPECT_EQ(read(folder.file("a.txt")).value(), "second, longer text");
  EXPECT_EQ(list_regular_files(folder.path()), std::vector<std::string>{"a.txt"});
}

TEST(Files, WriteAtomicKeepsTheOwnersPermissionsAndDropsEveryoneElses) {
  TempFolder folder;
  write_atomic(folder.file("a.txt"), "x");
  ::chmod(folder.file("a.txt").c_str(), 0644);
  write_atomic(folder.file("a.txt"), "y");
  struct stat info {};
  ASSERT_EQ(::stat(folder.file("a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(Files, AFailedWriteLeavesTheOldFileAndReportsIt) {
  TempFolder folder;
  write_atomic(folder.file("list"), "keep me");
  // A folder in the way of the target, and a target below a plain file: both fail, even as root.
  std::filesystem::create_directory(folder.file("dir"));
  EXPECT_FALSE(write_atomic(folder.file("dir"), "x"));
  EXPECT_FALSE(write_atomic(folder.file("list") + "/child", "x"));
  EXPECT_EQ(read(folder.file("list")).value(), "keep me");
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("dir")));
  auto names = list_regular_files(folder.path());
  EXPECT_EQ(names, std::vector<std::string>{"list"});
}

TEST(Files, ReadGivesNothingForMissingFilesAndFolders) {
  TempFolder folder;
  EXPECT_FALSE(read(folder.file("missing")).has_value());
  EXPECT_FALSE(read(folder.path()).has_value());
  folder.write("binary", std::string("a\0b\xff", 4));
  EXPECT_EQ(read(folder.file("binary")).value(), std::string("a\0b\xff", 4));
}

TEST(Files, ListingSkipsHiddenFilesAndFolders) {
  TempFolder folder;
  folder.write("b.mp4", "");
  folder.write(".hidden", "");
  std::filesystem::create_directory(folder.file("sub"));
  folder.write("a.rmvb", "");
  auto names = list_regular_files(folder.path());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.rmvb", "b.mp4"}));
  EXPECT_TRUE(list_regular_files(folder.file("missing")).empty());
}

TEST(Files, JoinAddsOneSlash) {
  EXPECT_EQ(join("/a", "b"), "/a/b");
  EXPECT_EQ(join("/a/", "b"), "/a/b");
}

}  // namespace
}  // namespace pelmora::platform::files
