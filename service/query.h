#pragma once

#include <optional>
#include <string>
#include <string_view>

// Reading the arguments of the service's addresses. The client builds them by hand (fields
// joined by "-" or "$$$", values escaped with its own escape codec), so they are read from the
// raw request target, never through a generic form decoder.
namespace pelmora::service {

// The part of a request target after the first "?", or empty.
std::string_view raw_query(std::string_view target);

// The raw value of the first "key=value" pair named `key` in an "&"-separated query, or nothing.
std::optional<std::string_view> query_value(std::string_view query, std::string_view key);

// Decodes a query value that may come in the client's escape form ("%uXXXX", "%XX" as one
// character) or as a browser's UTF-8 percent-encoding ("%E4%B8%AD"), or as raw UTF-8, or a mix.
// A run of "%XX" bytes that is valid UTF-8 is read as UTF-8, otherwise byte by byte as
// characters 0-255. "+" stays "+". The result is UTF-8.
std::string decode_query_text(std::string_view raw);

// Which episode a resource request "id=&v=&v1=" names. Nothing when a field is missing,
// repeated or not a plain decimal number.
struct EpisodeRef {
  int id = 0;
  int source = 0;
  int episode = 0;
  bool operator==(const EpisodeRef&) const = default;
};
std::optional<EpisodeRef> parse_resource_query(std::string_view query);

// "id-v-v1", as the --fail option names an episode.
std::optional<EpisodeRef> parse_episode_ref(std::string_view text);

// The episode list page's argument "id-v-v1-name-open": `open` is "0" for none, otherwise the
// source number immediately followed by the episode to open ("25": source 2, episode 5).
struct EpisodeListQuery {
  EpisodeRef current;
  std::string name;                 // as sent (escaped)
  std::optional<int> open_episode;  // of the current source
};
std::optional<EpisodeListQuery> parse_episode_list_query(std::string_view query);

// The web player page's argument "kind$$$escaped address". Only http and https addresses are
// taken: the page puts the address into a video element, and nothing else belongs there.
struct WebPlayQuery {
  std::string kind;
  std::string address;  // unescaped
};
std::optional<WebPlayQuery> parse_web_play_query(std::string_view query);

}  // namespace pelmora::service
