#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/link_schemes.h"

// The program's own link schemes, which the service's pages and the list pages use to ask for an
// action, and the texts built from them: the episode key, the play link, the service addresses of
// the resource request, the episode list page and the web player page. Pure text work, so that
// the panes' handlers read as the steps they carry out.
namespace pelmora::web {

enum class Scheme {
  kSearch,  // "razavov://": look up the resource of an episode
  kPlay,    // "eeqvod://": play an episode
  kOpen,    // "open://": play an entry of the history list on view
  kDelete,  // "delk://": remove an entry of the history list on view
};

// Where the scheme text has to stand for the address to count as that link.
enum class SchemePlace { kAnywhere, kAtStart };
// Which "/" characters are dropped from the payload: the one the browser adds at the end, or
// every one.
enum class SlashRule { kOneTrailing, kEvery };

struct SchemeRule {
  Scheme scheme;
  std::string_view text;
  SchemePlace place;
  SlashRule slashes;
};

inline constexpr std::array<SchemeRule, 4> kSchemes{{
    {Scheme::kSearch, links::kSearch, SchemePlace::kAnywhere, SlashRule::kOneTrailing},
    {Scheme::kPlay, links::kPlay, SchemePlace::kAnywhere, SlashRule::kOneTrailing},
    {Scheme::kOpen, links::kOpen, SchemePlace::kAtStart, SlashRule::kOneTrailing},
    {Scheme::kDelete, links::kDelete, SchemePlace::kAtStart, SlashRule::kEvery},
}};

const SchemeRule& rule_of(Scheme scheme);

// Whether the address carries the scheme (case-sensitive, at the place the table says).
bool is_link(Scheme scheme, std::string_view url);

// The payload: the address with every occurrence of the scheme text removed, then the "/"
// characters of the scheme's rule dropped.
std::string payload_of(Scheme scheme, std::string_view url);

// Splits at every occurrence of `separator`; "" gives one empty field.
std::vector<std::string> split_fields(std::string_view text, std::string_view separator);

// The programme identifier as the links carry it: a decimal 32-bit number, 0 when the text is
// not one.
std::int32_t id_number(std::string_view text);

// An episode number or list position as a whole number; nothing when the text is not one.
std::optional<std::int64_t> whole_number(std::string_view text);

// The episode key `id`-`v`-`v1`-`name` ("razavov://" payload and the current episode).
struct EpisodeKey {
  std::string id_text;  // the field as it arrived
  std::int32_t id = 0;  // 0 when id_text is not a number
  std::string v;        // source selector, passed through unchanged
  std::string v1;       // episode number within the source
  std::string name;     // escaped programme name

  static EpisodeKey parse(std::string_view text);  // missing fields are empty
  // `id`-`v`-`v1`-`name`, with the identifier as its number.
  std::string text() const;
};

// The seven fields of a play link ("eeqvod://" payload), joined by "&&&".
struct PlayLink {
  std::string kind;     // "qvod" for the player, anything else for the web player page
  std::string address;  // escaped play address
  std::string name;     // escaped programme name
  std::string label;    // escaped episode caption
  std::string id_text;
  std::int32_t id = 0;
  std::string v;
  std::string v1;

  static PlayLink parse(std::string_view payload);  // missing fields are empty
  // "eeqvod://" followed by the seven fields, the identifier as its number.
  std::string link() const;
  EpisodeKey key() const;
};

// What the resource service answered for one episode.
struct ResourceReply {
  enum class Kind {
    kNone,       // "1": there is nothing to play
    kNotReady,   // "0": nothing yet
    kRecord,     // `label`$`address`$`kind`
    kMalformed,  // anything else, the empty text of a failed request included
  };
  Kind kind = Kind::kMalformed;
  std::string label;    // escaped
  std::string address;  // plain
  std::string source_kind;

  static ResourceReply parse(std::string_view body);
};

// The play link of episode `v1` of the key's programme and source, as the service's play record
// describes it, played as `kind`.
PlayLink play_link_for(const EpisodeKey& key, const ResourceReply& reply, std::string kind,
                       std::string v1);

// Service paths, relative to the service base URL.
// "h.asp?id=" + id + "&v=" + v + "&v1=" + episode.
std::string resource_path(std::string_view id, std::string_view v, std::string_view episode);
// "pp.htm?" + `key` + "-" + `open_episode` ("0" opens nothing).
std::string episode_list_path(std::string_view key, std::string_view open_episode);
// "play.htm?" + kind + "$$$" + escaped address.
std::string web_player_path(std::string_view kind, std::string_view escaped_address);

// The index of an "open://" or "delk://" link: decimal digits only, 1 or more; nothing
// otherwise.
std::optional<std::int64_t> list_index(std::string_view payload);

// The entry an "open://" or "delk://" link names: its line number and, on the program's own list
// pages, the check of the record the row was made from ("open://3-5f0a12c4"), so that a row left
// over from an older page cannot act on whatever record stands on that line now. Links of the
// service's pages name the line alone.
struct ListTarget {
  std::int64_t line = 0;
  std::string check;  // empty: the link carries none
};
// Nothing when the payload is neither a line number nor a number, "-" and an eight-digit check.
std::optional<ListTarget> list_target(std::string_view payload);

}  // namespace pelmora::web
