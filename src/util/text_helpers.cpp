#include "util/text_helpers.h"

#include <limits>

namespace pelmora::text {

namespace {

void append_two_digits(std::string& out, std::int64_t value) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::string time_text(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  const std::int64_t hours = seconds / 3600;
  const std::int64_t minutes = seconds % 3600 / 60;
  const std::int64_t rest = seconds % 3600 % 60;
  std::string out;
  if (hours > 0) {
    out = std::to_string(hours);
    out += ':';
  }
  append_two_digits(out, minutes);
  out += ':';
  append_two_digits(out, rest);
  return out;
}

std::string file_part(std::string_view path) {
  if (path.find("://") != std::string_view::npos) return {};
  const auto slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(slash + 1));
}

std::string drop_ext(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(0, dot));
}

std::string text_between(std::string_view text, std::string_view start, std::string_view end,
                         Between mode) {
  if (mode != Between::kWithMarkers && mode != Between::kInside) return {};
  const auto begin = text.find(start);
  if (begin == std::string_view::npos) return {};
  // The end marker is looked for after the whole start marker, so that a marker cannot end
  // inside the start marker (with a start marker that contains the end marker, as `"` in
  // `Defaultsavepath="`, the result would otherwise be cut at the start marker itself).
  const auto inside = begin + start.size();
  const auto finish = text.find(end, inside);
  if (finish == std::string_view::npos) return {};
  if (mode == Between::kInside) return std::string(text.substr(inside, finish - inside));
  return std::string(text.substr(begin, finish + end.size() - begin));
}

bool parse_whole(std::string_view text, std::int64_t& value) {
  std::size_t at = 0;
  std::size_t stop = text.size();
  while (at < stop && is_blank(text[at])) ++at;
  while (stop > at && is_blank(text[stop - 1])) --stop;
  bool negative = false;
  if (at < stop && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  if (at == stop) return false;
  // Accumulates the magnitude as unsigned so that the most negative value fits too.
  const std::uint64_t limit =
      negative ? std::uint64_t{1} << 63
               : static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  for (; at < stop; ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - digit) / 10) return false;
    magnitude = magnitude * 10 + digit;
  }
  value =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

std::vector<std::string_view> split_lines(std::string_view text, std::size_t limit) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size() && lines.size() < limit) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = next;
  }
  return lines;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (std::size_t at = text.find(separator); at != std::string_view::npos;
       at = text.find(separator, from)) {
    parts.push_back(text.substr(from, at - from));
    from = at + separator.size();
  }
  parts.push_back(text.substr(from));
  return parts;
}

}  // namespace pelmora::text
