#include "catalogue.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "escape_codec.h"
#include "plain_text.h"

namespace pelmora::resources {
std::string_view demo_catalogue_text();  // generated from service/catalogue.txt
}

namespace pelmora::service {
namespace {

std::optional<int> whole_number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < 0) {
    return std::nullopt;
  }
  return value;
}

// Characters that would split or cut a field of the episode key, the play record or a list file.
bool safe_name(std::string_view name) {
  return !name.empty() && name.find_first_of("-|$&\r\n") == std::string_view::npos;
}

std::string ascii_lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

const Source* Programme::source(int number) const {
  for (const Source& s : sources) {
    if (s.number == number) return &s;
  }
  return nullptr;
}

const Programme* Catalogue::programme(int id) const {
  for (const Programme& p : programmes) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

std::optional<Catalogue> Catalogue::parse(std::string_view text, std::string* error) {
  Catalogue catalogue;
  int line_number = 0;
  auto fail = [&](std::string reason) -> std::optional<Catalogue> {
    if (error) *error = "line " + std::to_string(line_number) + ": " + reason;
    return std::nullopt;
  };
  for (std::string_view line : text::split(text, "\n")) {
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const auto fields = text::split(line, "|");
    if (fields[0] == "programme" && fields.size() == 6) {
      Programme p;
      const auto id = whole_number(fields[1]);
      if (!id || catalogue.programme(*id)) return fail("bad or repeated programme id");
      p.id = *id;
      p.name = fields[2];
      p.colour = fields[3];
      p.label_pattern = fields[4];
      p.blurb = fields[5];
      if (!safe_name(p.name)) return fail("name unusable in a link");
      if (p.label_pattern.find("%d") == std::string::npos || !safe_name(p.label_pattern)) {
        return fail("episode caption needs %d and no link separators");
      }
      catalogue.programmes.push_back(std::move(p));
    } else if (fields[0] == "source" && fields.size() == 6) {
      const auto id = whole_number(fields[1]);
      const auto number = whole_number(fields[2]);
      const auto episodes = whole_number(fields[4]);
      Programme* owner = nullptr;
      for (Programme& p : catalogue.programmes) {
        if (id && p.id == *id) owner = &p;
      }
      if (!owner) return fail("source of an unknown programme");
      if (!number || owner->source(*number) || !episodes || *episodes < 1 || *episodes > 99 ||
          !safe_name(fields[3])) {
        return fail("bad source");
      }
      owner->sources.push_back(
          {*number, std::string(fields[3]), *episodes, std::string(fields[5])});
    } else {
      return fail("unknown record");
    }
  }
  return catalogue;
}

const Catalogue& Catalogue::builtin() {
  static const Catalogue catalogue = [] {
    std::string error;
    auto parsed = parse(resources::demo_catalogue_text(), &error);
    // The text is part of the build and checked by the tests; an empty catalogue still serves.
    return parsed ? std::move(*parsed) : Catalogue{};
  }();
  return catalogue;
}

std::string episode_label(const Programme& programme, int episode) {
  std::string label = programme.label_pattern;
  label.replace(label.find("%d"), 2, std::to_string(episode));
  return label;
}

std::string clip_file(const Programme& programme, const Source& source, int episode) {
  std::string number = std::to_string(episode);
  if (number.size() < 2) number.insert(0, "0");
  return "p" + std::to_string(programme.id) + "-s" + std::to_string(source.number) + "-e" + number +
         (plays_in_player(source) ? ".mp4" : ".webm");
}

std::string episode_key(const Programme& programme, int source, int episode) {
  return std::to_string(programme.id) + "-" + std::to_string(source) + "-" +
         std::to_string(episode) + "-" + codec::escape(programme.name);
}

std::string episode_link(const Programme& programme, int source, int episode) {
  return "razavov://" + episode_key(programme, source, episode);
}

std::vector<const Programme*> search(const Catalogue& catalogue, std::string_view word) {
  std::vector<const Programme*> found;
  const size_t first = word.find_first_not_of(" \t");
  if (first == std::string_view::npos) return found;
  const size_t last = word.find_last_not_of(" \t");
  const std::string wanted = ascii_lower(word.substr(first, last - first + 1));
  for (const Programme& p : catalogue.programmes) {
    if (ascii_lower(p.name).find(wanted) != std::string::npos) found.push_back(&p);
  }
  return found;
}

}  // namespace pelmora::service
