#include "http_head.h"

#include <algorithm>
#include <cctype>

namespace pelmora::engine {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The request line "METHOD TARGET HTTP/1.x"; false when it is not one.
bool parse_request_line(std::string_view line, HttpRequest& request, bool& http11) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  const std::size_t first = line.find(' ');
  const std::size_t second = line.rfind(' ');
  if (first == std::string_view::npos || second == first) return false;
  const std::string_view version = line.substr(second + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return false;
  http11 = version == "HTTP/1.1";
  request.method = std::string(line.substr(0, first));
  request.target = std::string(line.substr(first + 1, second - first - 1));
  if (request.target.empty() || request.target.front() != '/') return false;
  request.path = request.target.substr(0, request.target.find('?'));
  return true;
}

std::optional<std::uint64_t> decimal(std::string_view text) {
  // Up to 19 digits always fit 64 bits.
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

ParsedHead parse_head(std::string_view bytes) {
  ParsedHead parsed;
  const std::size_t line_end = bytes.find('\n');
  if (line_end == std::string_view::npos) return parsed;
  bool http11 = true;
  if (!parse_request_line(bytes.substr(0, line_end), parsed.request, http11)) {
    parsed.state = HeadState::bad;
    return parsed;
  }
  parsed.state = HeadState::line;
  // The blank line ends the head; the request line's own end may begin it.
  std::size_t head_end = bytes.find("\r\n\r\n", line_end - std::min<std::size_t>(line_end, 1));
  std::size_t separator = 4;
  if (const std::size_t bare = bytes.find("\n\n", line_end); bare < head_end) {
    head_end = bare;
    separator = 2;
  }
  if (head_end == std::string_view::npos) return parsed;
  std::string_view fields =
      bytes.substr(line_end + 1, std::max(head_end, line_end + 1) - line_end - 1);
  while (!fields.empty()) {
    const std::size_t end = fields.find('\n');
    const std::string_view line = fields.substr(0, end);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
      parsed.request.headers.try_emplace(lower(trim(line.substr(0, colon))),
                                         std::string(trim(line.substr(colon + 1))));
    }
    if (end == std::string_view::npos) break;
    fields.remove_prefix(end + 1);
  }
  if (!http11) parsed.request.headers.try_emplace("connection", "close");
  parsed.state = HeadState::whole;
  parsed.length = head_end + separator;
  return parsed;
}

std::optional<ByteRange> byte_range(std::string_view field, std::uint64_t size) {
  if (!field.starts_with("bytes=")) return std::nullopt;
  field.remove_prefix(6);
  if (field.find(',') != std::string_view::npos) return std::nullopt;
  const std::size_t dash = field.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view from_text = field.substr(0, dash);
  const std::string_view to_text = field.substr(dash + 1);
  if (from_text.empty()) {
    const auto suffix = decimal(to_text);
    if (!suffix) return std::nullopt;
    // The last 0 bytes, or any bytes of an empty file: nothing to answer.
    if (*suffix == 0 || size == 0) return ByteRange{0, 0, false};
    const std::uint64_t length = std::min(*suffix, size);
    return ByteRange{size - length, length, true};
  }
  const auto from = decimal(from_text);
  if (!from) return std::nullopt;
  if (*from >= size) return ByteRange{0, 0, false};
  std::uint64_t last = size - 1;
  if (!to_text.empty()) {
    const auto to = decimal(to_text);
    if (!to || *to < *from) return std::nullopt;
    last = std::min(*to, last);
  }
  return ByteRange{*from, last - *from + 1, true};
}

}  // namespace pelmora::engine
