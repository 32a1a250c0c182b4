#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::service {

// One source of a programme: a numbered set of episodes of one kind. Kind "qvod" plays in the
// client's player (MP4 clips); any other kind plays in the web player page (WebM clips).
struct Source {
  int number = 0;
  std::string kind;
  int episodes = 0;  // numbered 1 .. episodes
  std::string caption;
};

struct Programme {
  int id = 0;
  std::string name;
  std::string colour;         // poster colour, "#rrggbb"
  std::string label_pattern;  // episode caption, "%d" standing for the number
  std::string blurb;
  std::vector<Source> sources;

  const Source* source(int number) const;
};

struct Catalogue {
  std::vector<Programme> programmes;

  const Programme* programme(int id) const;

  // The catalogue built into the service (service/catalogue.txt).
  static const Catalogue& builtin();
  // Reads the text form of catalogue.txt. Gives nothing, with a reason in `error`, when a line
  // is malformed, a source names an unknown programme, or a name could break a link.
  static std::optional<Catalogue> parse(std::string_view text, std::string* error);
};

inline bool plays_in_player(const Source& source) {
  return source.kind == "qvod";
}

// The episode's caption, e.g. "第2集".
std::string episode_label(const Programme& programme, int episode);
// The clip's file name in the media folder, e.g. "p101-s1-e02.mp4".
std::string clip_file(const Programme& programme, const Source& source, int episode);
// The episode key of the client's search link: id-v-v1-name with the name escaped.
std::string episode_key(const Programme& programme, int source, int episode);
// "razavov://" + the episode key.
std::string episode_link(const Programme& programme, int source, int episode);

// Programmes whose name contains `word` without its leading and trailing blanks (ASCII letters
// compared without case); a blank word matches nothing.
std::vector<const Programme*> search(const Catalogue& catalogue, std::string_view word);

}  // namespace pelmora::service
