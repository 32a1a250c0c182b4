// The demo service's reading of request addresses on any target: no memory error, decoded text
// is UTF-8, an episode read from a query is the one a query written from it names, and the web
// player page is only ever given an http(s) address without blanks or line breaks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "query.h"

using namespace pelmora::service;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view target(reinterpret_cast<const char*>(data), size);
  const std::string_view query = raw_query(target);
  FUZZ_CHECK(query.empty() || query.data() > target.data());

  for (const std::string_view key : {"id", "v", "v1", "searchword"}) {
    if (const auto value = query_value(query, key)) {
      FUZZ_CHECK(value->data() >= query.data() &&
                 value->data() + value->size() <= query.data() + query.size());
    }
  }
  const std::string decoded = decode_query_text(query);
  FUZZ_CHECK(pelmora::fuzz::is_utf8(decoded.data(), decoded.size()));

  if (const auto episode = parse_resource_query(query)) {
    FUZZ_CHECK(episode->id >= 0 && episode->source >= 0 && episode->episode >= 0);
    const std::string written = "id=" + std::to_string(episode->id) +
                                "&v=" + std::to_string(episode->source) +
                                "&v1=" + std::to_string(episode->episode);
    FUZZ_CHECK(parse_resource_query(written) == episode);
    FUZZ_CHECK(parse_episode_ref(std::to_string(episode->id) + "-" +
                                 std::to_string(episode->source) + "-" +
                                 std::to_string(episode->episode)) == episode);
  }
  parse_episode_ref(query);
  if (const auto list = parse_episode_list_query(query)) {
    FUZZ_CHECK(list->name.size() < query.size());
    FUZZ_CHECK(!list->open_episode || *list->open_episode >= 0);
  }
  if (const auto play = parse_web_play_query(query)) {
    FUZZ_CHECK(!play->kind.empty());
    FUZZ_CHECK(play->address.starts_with("http://") || play->address.starts_with("https://"));
    FUZZ_CHECK(play->address.find_first_of("\r\n\t ") == std::string::npos);
  }
  return 0;
}
