#include "query.h"

#include <charconv>
#include <vector>

#include "escape_codec.h"
#include "plain_text.h"

namespace pelmora::service {
namespace {

bool valid_utf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    unsigned min = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, min = 0x10000;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    unsigned code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

void append_bytes(std::u16string& out, const std::string& bytes) {
  if (valid_utf8(bytes)) {
    out += codec::to_units(bytes);
  } else {
    for (char c : bytes) out += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
}

std::optional<int> plain_number(std::string_view text) {
  // Digits only (no sign, no blanks), at most nine of them so that the value fits.
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

}  // namespace

std::string_view raw_query(std::string_view target) {
  const size_t mark = target.find('?');
  return mark == std::string_view::npos ? std::string_view{} : target.substr(mark + 1);
}

std::optional<std::string_view> query_value(std::string_view query, std::string_view key) {
  for (std::string_view pair : text::split(query, "&")) {
    const size_t equals = pair.find('=');
    if (equals != std::string_view::npos && pair.substr(0, equals) == key) {
      return pair.substr(equals + 1);
    }
  }
  return std::nullopt;
}

std::string decode_query_text(std::string_view raw) {
  std::u16string out;
  std::string bytes;
  size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] == '%' && i + 1 < raw.size() && raw[i + 1] == 'u') {
      const int unit = codec::hex_run(raw, i + 2, 4);
      if (unit >= 0) {
        append_bytes(out, bytes);
        bytes.clear();
        out += static_cast<char16_t>(unit);
        i += 6;
        continue;
      }
    }
    if (raw[i] == '%') {
      const int byte = codec::hex_run(raw, i + 1, 2);
      if (byte >= 0) {
        bytes += static_cast<char>(byte);
        i += 3;
        continue;
      }
    }
    bytes += raw[i];
    ++i;
  }
  append_bytes(out, bytes);
  return codec::from_units(out);
}

std::optional<EpisodeRef> parse_resource_query(std::string_view query) {
  std::optional<std::string_view> fields[3];
  const std::string_view names[3] = {"id", "v", "v1"};
  for (std::string_view pair : text::split(query, "&")) {
    const size_t equals = pair.find('=');
    const std::string_view key = pair.substr(0, equals);
    for (int k = 0; k < 3; ++k) {
      if (key != names[k]) continue;
      if (equals == std::string_view::npos || fields[k]) return std::nullopt;
      fields[k] = pair.substr(equals + 1);
    }
  }
  const auto id = fields[0] ? plain_number(*fields[0]) : std::nullopt;
  const auto source = fields[1] ? plain_number(*fields[1]) : std::nullopt;
  const auto episode = fields[2] ? plain_number(*fields[2]) : std::nullopt;
  if (!id || !source || !episode) return std::nullopt;
  return EpisodeRef{*id, *source, *episode};
}

std::optional<EpisodeRef> parse_episode_ref(std::string_view text) {
  const auto fields = text::split(text, "-");
  if (fields.size() != 3) return std::nullopt;
  const auto id = plain_number(fields[0]);
  const auto source = plain_number(fields[1]);
  const auto episode = plain_number(fields[2]);
  if (!id || !source || !episode) return std::nullopt;
  return EpisodeRef{*id, *source, *episode};
}

std::optional<EpisodeListQuery> parse_episode_list_query(std::string_view query) {
  const auto fields = text::split(query, "-");
  if (fields.size() < 5) return std::nullopt;
  const auto id = plain_number(fields[0]);
  const auto source = plain_number(fields[1]);
  const auto episode = plain_number(fields[2]);
  if (!id || !source || !episode) return std::nullopt;
  EpisodeListQuery list;
  list.current = {*id, *source, *episode};
  // A name that itself holds "-" spreads over several fields; the last field is always `open`.
  const std::string_view open = fields.back();
  const size_t name_start = fields[3].data() - query.data();
  list.name = std::string(query.substr(name_start, open.data() - 1 - query.data() - name_start));
  const std::string_view source_text = fields[1];
  if (open != "0" && open.size() > source_text.size() &&
      open.substr(0, source_text.size()) == source_text) {
    list.open_episode = plain_number(open.substr(source_text.size()));
  }
  return list;
}

std::optional<WebPlayQuery> parse_web_play_query(std::string_view query) {
  const size_t mark = query.find("$$$");
  if (mark == 0 || mark == std::string_view::npos) return std::nullopt;
  WebPlayQuery play{std::string(query.substr(0, mark)), codec::unescape(query.substr(mark + 3))};
  if (play.kind.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") != std::string::npos) {
    return std::nullopt;
  }
  const bool web_address =
      play.address.starts_with("http://") || play.address.starts_with("https://");
  if (!web_address || play.address.find_first_of("\r\n\t ") != std::string::npos) {
    return std::nullopt;
  }
  return play;
}

}  // namespace pelmora::service
