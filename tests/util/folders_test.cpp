#include "util/folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/temp_folder.h"

namespace pelmora::text {
namespace {

TEST(WildcardMatch, MatchesStarsAndQuestionMarksCaseSensitively) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*", "anything", true},
      {"*", "", true},
      {"*.*", "a.rmvb", true},
      {"*.*", "README", true},
      {"*.rmvb", "a.rmvb", true},
      {"*.rmvb", "a.RMVB", false},
      {"*.rmvb", "a.rmvb.part", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"a?c", "a中c", true},
      {"*a*b*c", "xxaxbxxbc", true},
      {"*a*b*c", "xxaxbxxbcd", false},
      {"date*.dat", "date_f.dat", true},
      {"", "", true},
      {"", "a", false},
      {"a*", "b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.matches) << c.pattern << " ~ " << c.name;
  }
}

TEST(ListFolder, ListsOnlyOrdinaryVisibleFilesThatMatch) {
  pelmora::testing::TempFolder folder;
  for (const char* name : {"a.rmvb", "b.mp4", "README", ".hidden.rmvb"}) folder.write(name, "x");
  ASSERT_TRUE(platform::files::make_directories(folder.file("sub.rmvb")));
  folder.write("sub.rmvb/inner.rmvb", "x");

  std::vector<std::string> names = {"stale"};
  ASSERT_TRUE(platform::files::list_folder(folder.path(), "*.rmvb", names));
  EXPECT_EQ(names, std::vector<std::string>{"a.rmvb"});

  // "*.*" takes names without an extension too; a folder given with its "/" works the same.
  ASSERT_TRUE(platform::files::list_folder(folder.path() + "/", "*.*", names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"README", "a.rmvb", "b.mp4"}));
}

TEST(ListFolder, IsFalseAndLeavesTheListWhenNothingMatches) {
  pelmora::testing::TempFolder folder;
  std::vector<std::string> names = {"kept"};
  EXPECT_FALSE(platform::files::list_folder(folder.path(), "*.*", names));  // empty folder
  folder.write("a.rmvb", "x");
  EXPECT_FALSE(platform::files::list_folder(folder.path(), "*.avi", names));
  EXPECT_FALSE(platform::files::list_folder(folder.file("missing"), "*.*", names));
  EXPECT_FALSE(platform::files::list_folder("", "*.*", names));
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace pelmora::text
