#include <gtest/gtest.h>

#include <string>

#include "catalogue.h"
#include "failure_modes.h"
#include "query.h"

namespace pelmora::service {
namespace {

TEST(Catalogue, BuiltInCatalogueHasPlayerAndWebProgrammesWithUsableNames) {
  const Catalogue& catalogue = Catalogue::builtin();
  ASSERT_GE(catalogue.programmes.size(), 3u);
  bool player = false, web = false, latin = false;
  for (const Programme& p : catalogue.programmes) {
    EXPECT_FALSE(p.sources.empty()) << p.name;
    for (const Source& s : p.sources) (plays_in_player(s) ? player : web) = true;
    latin = latin ||
            p.name.find_first_not_of(" ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") ==
                std::string::npos;
  }
  EXPECT_TRUE(player);
  EXPECT_TRUE(web);
  EXPECT_TRUE(latin);
  const Programme* mountains = catalogue.programme(101);
  ASSERT_NE(mountains, nullptr);
  EXPECT_EQ(episode_label(*mountains, 12), "第12集");
  EXPECT_EQ(clip_file(*mountains, mountains->sources[0], 2), "p101-s1-e02.mp4");
  EXPECT_EQ(episode_key(*mountains, 1, 2), "101-1-2-%u5C71%u6D77%u4E4B%u95F4");
}

TEST(Catalogue, RefusesLinesThatWouldBreakALinkOrNameNothing) {
  const std::string good = "programme|1|Name|#000|E%d|b\nsource|1|1|qvod|2|s\n";
  std::string error;
  ASSERT_TRUE(Catalogue::parse(good, &error)) << error;
  const std::string bad_texts[] = {
      "programme|1|Na-me|#000|E%d|b\n",     // "-" splits the episode key
      "programme|1|Na$me|#000|E%d|b\n",     // "$" splits the play record
      "programme|1|Name|#000|Episode|b\n",  // no number in the caption
      "programme|x|Name|#000|E%d|b\n",
      "programme|1|Name|#000|E%d|b\nprogramme|1|Other|#000|E%d|b\n",
      "source|1|1|qvod|2|s\n",         // before its programme
      good + "source|1|1|qvod|2|s\n",  // repeated source
      good + "source|1|2|qvod|0|s\n",  // no episodes
      "programme|1|Name|#000|E%d\n",   // a field short
      "film|1|Name\n",
  };
  for (const std::string& bad : bad_texts) {
    EXPECT_FALSE(Catalogue::parse(bad, &error)) << bad;
    EXPECT_FALSE(error.empty());
  }
}

TEST(DecodeQueryText, ReadsEscapeFormPercentUtf8RawUtf8AndLeavesTheRest) {
  EXPECT_EQ(decode_query_text("%u4E2D%E6%96%87"), "中文");
  EXPECT_EQ(decode_query_text("%u4e2d"), "中");
  EXPECT_EQ(decode_query_text("中文"), "中文");
  EXPECT_EQ(decode_query_text("a%20b+c"), "a b+c");
  EXPECT_EQ(decode_query_text("%E9"), "é");  // a lone Latin-1 byte, as the escape form has it
  EXPECT_EQ(decode_query_text("100%"), "100%");
  EXPECT_EQ(decode_query_text("%zz%u12"), "%zz%u12");
  EXPECT_EQ(decode_query_text("%U4E2D"), "%U4E2D");
  EXPECT_EQ(decode_query_text("%uD83D%uDE00"), "😀");
  EXPECT_EQ(decode_query_text(""), "");
}

TEST(FailureRule, ReadsModeAndOptionalEpisode) {
  const auto all = parse_failure_rule("hang");
  ASSERT_TRUE(all);
  EXPECT_EQ(all->mode, ReplyFailure::hang);
  EXPECT_FALSE(all->episode);
  const auto one = parse_failure_rule("500:101-1-2");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->mode, ReplyFailure::server_error);
  EXPECT_EQ(one->episode, (EpisodeRef{101, 1, 2}));
  for (const char* mode : {"0", "1", "empty", "garbage", "500", "hang"}) {
    const auto rule = parse_failure_rule(mode);
    ASSERT_TRUE(rule) << mode;
    EXPECT_EQ(failure_name(rule->mode), mode);
  }
  for (const char* bad : {"", "slow", "hang:", "hang:101", "hang:101-1-x", "0:1-2-3-4", "HANG"}) {
    EXPECT_FALSE(parse_failure_rule(bad)) << bad;
  }
}

}  // namespace
}  // namespace pelmora::service
