#include "web/link_grammar.h"

#include <limits>

#include "util/text_helpers.h"
#include "util/url_codec.h"

namespace pelmora::web {

namespace {

constexpr std::string_view kKeySeparator = "-";
constexpr std::string_view kPlayLinkSeparator = "&&&";
constexpr std::string_view kRecordSeparator = "$";

std::string field(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? fields[index] : std::string();
}

std::string remove_all(std::string_view text, std::string_view what) {
  std::string result;
  result.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, from)) {
    result.append(text.substr(from, at - from));
    from = at + what.size();
  }
  result.append(text.substr(from));
  return result;
}

template <typename... Parts>
std::string joined(std::string_view separator, const Parts&... parts) {
  std::string result;
  bool first = true;
  const auto add = [&](std::string_view part) {
    if (!first) result.append(separator);
    first = false;
    result.append(part);
  };
  (add(parts), ...);
  return result;
}

}  // namespace

const SchemeRule& rule_of(Scheme scheme) {
  for (const SchemeRule& rule : kSchemes) {
    if (rule.scheme == scheme) return rule;
  }
  return kSchemes.front();
}

bool is_link(Scheme scheme, std::string_view url) {
  const SchemeRule& rule = rule_of(scheme);
  return rule.place == SchemePlace::kAtStart ? url.starts_with(rule.text)
                                             : url.find(rule.text) != std::string_view::npos;
}

std::string payload_of(Scheme scheme, std::string_view url) {
  const SchemeRule& rule = rule_of(scheme);
  std::string payload = remove_all(url, rule.text);
  if (rule.slashes == SlashRule::kEvery) return remove_all(payload, "/");
  if (payload.ends_with('/')) payload.pop_back();
  return payload;
}

std::vector<std::string> split_fields(std::string_view text, std::string_view separator) {
  const auto parts = text::split(text, separator);
  return {parts.begin(), parts.end()};
}

std::int32_t id_number(std::string_view text) {
  std::int64_t value = 0;
  if (!text::parse_whole(text, value)) return 0;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return 0;
  }
  return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> whole_number(std::string_view text) {
  std::int64_t value = 0;
  if (!text::parse_whole(text, value)) return std::nullopt;
  return value;
}

EpisodeKey EpisodeKey::parse(std::string_view text) {
  const std::vector<std::string> fields = split_fields(text, kKeySeparator);
  EpisodeKey key;
  key.id_text = field(fields, 0);
  key.id = id_number(key.id_text);
  key.v = field(fields, 1);
  key.v1 = field(fields, 2);
  key.name = field(fields, 3);
  return key;
}

std::string EpisodeKey::text() const {
  return joined(kKeySeparator, std::to_string(id), v, v1, name);
}

PlayLink PlayLink::parse(std::string_view payload) {
  const std::vector<std::string> fields = split_fields(payload, kPlayLinkSeparator);
  PlayLink link;
  link.kind = field(fields, 0);
  link.address = field(fields, 1);
  link.name = field(fields, 2);
  link.label = field(fields, 3);
  link.id_text = field(fields, 4);
  link.id = id_number(link.id_text);
  link.v = field(fields, 5);
  link.v1 = field(fields, 6);
  return link;
}

PlayLink play_link_for(const EpisodeKey& key, const ResourceReply& reply, std::string kind,
                       std::string v1) {
  PlayLink link;
  link.kind = std::move(kind);
  link.address = text::url_escape(reply.address);
  link.name = key.name;
  link.label = reply.label;
  link.id = key.id;
  link.v = key.v;
  link.v1 = std::move(v1);
  return link;
}

std::string PlayLink::link() const {
  return std::string(rule_of(Scheme::kPlay).text) +
         joined(kPlayLinkSeparator, kind, address, name, label, std::to_string(id), v, v1);
}

EpisodeKey PlayLink::key() const {
  EpisodeKey key;
  key.id_text = id_text;
  key.id = id;
  key.v = v;
  key.v1 = v1;
  key.name = name;
  return key;
}

ResourceReply ResourceReply::parse(std::string_view body) {
  ResourceReply reply;
  if (body == "1") {
    reply.kind = Kind::kNone;
  } else if (body == "0") {
    reply.kind = Kind::kNotReady;
  } else if (body.find(kRecordSeparator) != std::string_view::npos) {
    const std::vector<std::string> fields = split_fields(body, kRecordSeparator);
    reply.kind = Kind::kRecord;
    reply.label = field(fields, 0);
    reply.address = field(fields, 1);
    reply.source_kind = field(fields, 2);
  }
  return reply;
}

std::string resource_path(std::string_view id, std::string_view v, std::string_view episode) {
  return "h.asp?id=" + std::string(id) + "&v=" + std::string(v) + "&v1=" + std::string(episode);
}

std::string episode_list_path(std::string_view key, std::string_view open_episode) {
  return "pp.htm?" + std::string(key) + "-" + std::string(open_episode);
}

std::string web_player_path(std::string_view kind, std::string_view escaped_address) {
  return "play.htm?" + std::string(kind) + "$$$" + std::string(escaped_address);
}

std::optional<std::int64_t> list_index(std::string_view payload) {
  if (payload.empty() || payload.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : payload) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 1) return std::nullopt;
  return value;
}

std::optional<ListTarget> list_target(std::string_view payload) {
  constexpr std::size_t kCheckDigits = 8;
  const auto dash = payload.find('-');
  const std::optional<std::int64_t> line = list_index(payload.substr(0, dash));
  if (!line) return std::nullopt;
  if (dash == std::string_view::npos) return ListTarget{*line, {}};
  const std::string_view check = payload.substr(dash + 1);
  if (check.size() != kCheckDigits) return std::nullopt;
  for (const char c : check) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return ListTarget{*line, std::string(check)};
}

}  // namespace pelmora::web
