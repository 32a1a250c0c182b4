#include "app/settings_store.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace pelmora::settings {
namespace {

using pelmora::testing::TempFolder;

class SettingsStoreTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.file("config.dll");
};

TEST_F(SettingsStoreTest, MissingFileSectionOrKeyReadsTheDefault) {
  EXPECT_EQ(read_ini(path, "S_q", "quit"), "0");
  folder.write("config.dll", "[S_q]\r\nquit=2\r\n");
  EXPECT_EQ(read_ini(path, "S_q", "ts"), "0");
  EXPECT_EQ(read_ini(path, "main", "Name"), "0");
  EXPECT_EQ(read_ini(path, "S_q", "quit"), "2");
}

TEST_F(SettingsStoreTest, PresentEmptyValueReadsEmptyNotTheDefault) {
  folder.write("config.dll", "[S_q]\r\nquit=\r\nts=  \r\n");
  EXPECT_EQ(read_ini(path, "S_q", "quit"), "");
  EXPECT_EQ(read_ini(path, "S_q", "ts"), "");
}

TEST_F(SettingsStoreTest, SectionsAndKeysMatchWithoutRegardToCase) {
  folder.write("config.dll", "[ver]\r\nname=3.0\r\n[User]\r\nNAME=abc\r\n");
  EXPECT_EQ(read_ini(path, "Ver", "Name"), "3.0");
  EXPECT_EQ(read_ini(path, "user", "name"), "abc");
  write_ini(path, "VER", "NAME", "3.1");
  EXPECT_EQ(folder.read("config.dll"), "[ver]\r\nname=3.1\r\n[User]\r\nNAME=abc\r\n");
}

TEST_F(SettingsStoreTest, LongValuesAreCutTo254Characters) {
  const std::string ascii(300, 'a');
  write_ini(path, "S_q", "qvodw", ascii);
  EXPECT_EQ(read_ini(path, "S_q", "qvodw"), std::string(254, 'a'));
  // Characters, not bytes: 300 Chinese characters come back as 254 of them.
  std::string chinese;
  for (int i = 0; i < 300; ++i) chinese += "中";
  write_ini(path, "S_q", "qvodw", chinese);
  EXPECT_EQ(read_ini(path, "S_q", "qvodw").size(), 254u * 3);
  // A cut never leaves half of a surrogate pair.
  std::string emoji = std::string(253, 'x') + "\U0001F600";
  write_ini(path, "S_q", "qvodw", emoji);
  EXPECT_EQ(read_ini(path, "S_q", "qvodw"), std::string(253, 'x'));
}

TEST_F(SettingsStoreTest, FirstWriteCreatesTheFileAndLaterWritesKeepOtherLines) {
  EXPECT_TRUE(write_ini(path, "main", "Name", "Pelmora"));
  EXPECT_EQ(folder.read("config.dll"), "[main]\r\nName=Pelmora\r\n");
  folder.write("config.dll",
               "; hand-written note\r\n[main]\r\nName=Pelmora\r\ngarbage line\r\n\r\n"
               "[S_q]\r\nts=3\r\n");
  write_ini(path, "main", "Other", "x");
  write_ini(path, "S_q", "ts", "1");
  write_ini(path, "New", "k", "v");
  EXPECT_EQ(folder.read("config.dll"),
            "; hand-written note\r\n[main]\r\nName=Pelmora\r\ngarbage line\r\nOther=x\r\n\r\n"
            "[S_q]\r\nts=1\r\n[New]\r\nk=v\r\n");
}

TEST_F(SettingsStoreTest, GarbageAndBinaryLinesDoNotHideGoodKeys) {
  std::string text = "\x01\x02=\xff\xfe\n[S_q\nno equals\n=\n[S_q]\n  quit  =  2  \n";
  text += std::string(1, '\0') + "junk\ns_h=\"1\"\nquit=9\n";
  folder.write("config.dll", text);
  EXPECT_EQ(read_ini(path, "S_q", "quit"), "2");  // the first occurrence wins
  EXPECT_EQ(read_ini(path, "S_q", "s_h"), "1");   // surrounding quotes are not part of it
}

TEST_F(SettingsStoreTest, RepeatedByteOrderMarksHideNoSectionAndAWriteAddsNoCopy) {
  folder.write("config.dll", "\xEF\xBB\xBF\xEF\xBB\xBF[main]\r\nName=Pelmora\r\n");
  EXPECT_EQ(read_ini(path, "main", "Name"), "Pelmora");
  ASSERT_TRUE(write_ini(path, "main", "Name", "x"));
  EXPECT_EQ(folder.read("config.dll"), "[main]\r\nName=x\r\n");
}

TEST_F(SettingsStoreTest, WritesThatWouldCorruptTheFileAreRefused) {
  write_ini(path, "S_q", "qvodw", "/media/");
  EXPECT_FALSE(write_ini(path, "S_q", "qvodw", "/a\r\n[main]\r\nName=evil"));
  EXPECT_FALSE(write_ini(path, "S_q", "bad=key", "1"));
  EXPECT_EQ(read_ini(path, "S_q", "qvodw"), "/media/");
  EXPECT_EQ(read_ini(path, "main", "Name"), "0");
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldFileWhole) {
  write_ini(path, "S_q", "quit", "2");
  // A folder where the temporary file would go cannot take it, even for root: write into a
  // settings "file" below a plain file.
  const std::string impossible = folder.file("config.dll") + "/config.dll";
  EXPECT_FALSE(write_ini(impossible, "S_q", "quit", "1"));
  EXPECT_EQ(read_ini(impossible, "S_q", "quit"), "0");
  EXPECT_EQ(folder.read("config.dll"), "[S_q]\r\nquit=2\r\n");
}

TEST(SettingsNumbers, ValuesThatAreNotNumbersReadAsZero) {
  EXPECT_EQ(as_number("2"), 2);
  EXPECT_EQ(as_number(" 13590 "), 13590);
  EXPECT_EQ(as_number(""), 0);
  EXPECT_EQ(as_number("two"), 0);
  EXPECT_EQ(as_number("99999999999999999999999"), 0);
}

}  // namespace
}  // namespace pelmora::settings
