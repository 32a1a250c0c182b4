// The link grammar on any address: no memory error, and the play link the program builds from a
// service record carries the record's play address through unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "util/url_codec.h"
#include "web/link_grammar.h"

using namespace pelmora;

namespace {

bool free_of_separators(std::string_view field) {
  return field.find("&&&") == std::string_view::npos &&
         field.find("eeqvod://") == std::string_view::npos && !field.ends_with('/') &&
         !field.ends_with('&');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view url(reinterpret_cast<const char*>(data), size);
  for (const web::SchemeRule& rule : web::kSchemes) {
    web::is_link(rule.scheme, url);
    const std::string payload = web::payload_of(rule.scheme, url);
    if (rule.slashes == web::SlashRule::kEvery) FUZZ_CHECK(payload.find('/') == std::string::npos);
  }
  const std::string search = web::payload_of(web::Scheme::kSearch, url);
  const web::EpisodeKey key = web::EpisodeKey::parse(search);
  web::EpisodeKey::parse(key.text());
  const web::PlayLink link = web::PlayLink::parse(web::payload_of(web::Scheme::kPlay, url));
  link.key().text();
  web::whole_number(url);
  web::id_number(url);
  if (const auto target = web::list_target(web::payload_of(web::Scheme::kDelete, url))) {
    FUZZ_CHECK(target->line >= 1);
    FUZZ_CHECK(target->check.empty() || target->check.size() == 8);
  }

  // A service record "label$address$kind": the link built from it plays that address.
  const web::ResourceReply reply = web::ResourceReply::parse(url);
  if (reply.kind == web::ResourceReply::Kind::kRecord && free_of_separators(reply.label) &&
      free_of_separators(reply.source_kind) && free_of_separators(key.name) &&
      free_of_separators(key.v) && fuzz::is_utf8(reply.address.data(), reply.address.size())) {
    const web::PlayLink built = web::play_link_for(key, reply, reply.source_kind, "7");
    const web::PlayLink read =
        web::PlayLink::parse(web::payload_of(web::Scheme::kPlay, built.link()));
    FUZZ_CHECK(text::url_unescape(read.address) == reply.address);
    FUZZ_CHECK(read.label == reply.label);
    FUZZ_CHECK(read.v1 == "7");
  }
  return 0;
}
