#include "web/link_grammar.h"

#include <gtest/gtest.h>

namespace pelmora::web {
namespace {

TEST(LinkSchemes, SearchAndPlayCountAnywhereOpenAndDeleteOnlyAtTheStart) {
  EXPECT_TRUE(is_link(Scheme::kSearch, "razavov://1-2-3-a"));
  EXPECT_TRUE(is_link(Scheme::kSearch, "http://host/x?go=razavov://1-2-3-a"));
  EXPECT_TRUE(is_link(Scheme::kPlay, "http://host/x?go=eeqvod://qvod&&&a"));
  EXPECT_TRUE(is_link(Scheme::kOpen, "open://3"));
  EXPECT_FALSE(is_link(Scheme::kOpen, "x-open://3"));
  EXPECT_TRUE(is_link(Scheme::kDelete, "delk://3"));
  EXPECT_FALSE(is_link(Scheme::kDelete, " delk://3"));
  // The scheme text is compared as written.
  EXPECT_FALSE(is_link(Scheme::kSearch, "RAZAVOV://1-2-3-a"));
  EXPECT_FALSE(is_link(Scheme::kOpen, "Open://3"));
}

TEST(LinkSchemes, PayloadDropsEveryOccurrenceOfTheSchemeAndTheSlashesOfItsRule) {
  EXPECT_EQ(payload_of(Scheme::kSearch, "razavov://123-2-5-abc/"), "123-2-5-abc");
  EXPECT_EQ(payload_of(Scheme::kSearch, "razavov://1-razavov://2/"), "1-2");
  // Only one trailing "/" goes.
  EXPECT_EQ(payload_of(Scheme::kOpen, "open://3//"), "3/");
  EXPECT_EQ(payload_of(Scheme::kPlay, "http://h/?eeqvod://qvod&&&a/"), "http://h/?qvod&&&a");
  EXPECT_EQ(payload_of(Scheme::kDelete, "delk://1/2/"), "12");
}

TEST(EpisodeKeys, ReadFourFieldsWithTheIdentifierAsA32BitNumber) {
  const EpisodeKey key = EpisodeKey::parse("123-2-5-%u4E2D");
  EXPECT_EQ(key.id, 123);
  EXPECT_EQ(key.v, "2");
  EXPECT_EQ(key.v1, "5");
  EXPECT_EQ(key.name, "%u4E2D");
  EXPECT_EQ(key.text(), "123-2-5-%u4E2D");

  const EpisodeKey short_key = EpisodeKey::parse("x7-2");
  EXPECT_EQ(short_key.id_text, "x7");
  EXPECT_EQ(short_key.id, 0);
  EXPECT_EQ(short_key.v1, "");
  EXPECT_EQ(short_key.name, "");
  EXPECT_EQ(short_key.text(), "0-2--");
  EXPECT_EQ(EpisodeKey::parse("4294967296-1-1-a").id, 0);
  EXPECT_EQ(EpisodeKey::parse("").id_text, "");
}

TEST(PlayLinks, ReadAndWriteSevenFieldsAfterTheScheme) {
  const PlayLink link = PlayLink::parse("qvod&&&qvod%3A//1%7CH%7Cn%7C&&&abc&&&t&&&123&&&2&&&5");
  EXPECT_EQ(link.kind, "qvod");
  EXPECT_EQ(link.address, "qvod%3A//1%7CH%7Cn%7C");
  EXPECT_EQ(link.name, "abc");
  EXPECT_EQ(link.label, "t");
  EXPECT_EQ(link.id, 123);
  EXPECT_EQ(link.v, "2");
  EXPECT_EQ(link.v1, "5");
  EXPECT_EQ(link.link(), "eeqvod://qvod&&&qvod%3A//1%7CH%7Cn%7C&&&abc&&&t&&&123&&&2&&&5");
  EXPECT_EQ(link.key().text(), "123-2-5-abc");

  const PlayLink partial = PlayLink::parse("flv&&&A");
  EXPECT_EQ(partial.name, "");
  EXPECT_EQ(partial.id_text, "");
  EXPECT_EQ(partial.link(), "eeqvod://flv&&&A&&&&&&&&&0&&&&&&");
}

TEST(ResourceReplies, TellNothingNotYetARecordAndEverythingElse) {
  using Kind = ResourceReply::Kind;
  EXPECT_EQ(ResourceReply::parse("1").kind, Kind::kNone);
  EXPECT_EQ(ResourceReply::parse("0").kind, Kind::kNotReady);
  EXPECT_EQ(ResourceReply::parse("").kind, Kind::kMalformed);
  EXPECT_EQ(ResourceReply::parse("<html>error</html>").kind, Kind::kMalformed);
  EXPECT_EQ(ResourceReply::parse("1\n").kind, Kind::kMalformed);

  const ResourceReply record = ResourceReply::parse("%u7B2C5%u96C6$qvod://9|H|a.rmvb|$qvod");
  EXPECT_EQ(record.kind, Kind::kRecord);
  EXPECT_EQ(record.label, "%u7B2C5%u96C6");
  EXPECT_EQ(record.address, "qvod://9|H|a.rmvb|");
  EXPECT_EQ(record.source_kind, "qvod");
  EXPECT_EQ(ResourceReply::parse("t$A").source_kind, "");
}

TEST(ListIndexes, AreDecimalNumbersFromOne) {
  EXPECT_EQ(list_index("3"), 3);
  EXPECT_EQ(list_index("012"), 12);
  EXPECT_EQ(list_index("0"), std::nullopt);
  EXPECT_EQ(list_index(""), std::nullopt);
  EXPECT_EQ(list_index("-1"), std::nullopt);
  EXPECT_EQ(list_index("+1"), std::nullopt);
  EXPECT_EQ(list_index(" 3"), std::nullopt);
  EXPECT_EQ(list_index("3a"), std::nullopt);
  EXPECT_EQ(list_index("1/2"), std::nullopt);
  EXPECT_EQ(list_index("99999999999999999999"), std::nullopt);
}

}  // namespace
}  // namespace pelmora::web
