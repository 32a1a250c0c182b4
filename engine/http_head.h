#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// Reading what a client sends the terminal's HTTP server: a request head and the Range field of
// a stream request. Plain functions of their text, with no connection behind them.
namespace pelmora::engine {

// One request head as it came: the method, the target as written, the target's path (without
// the query), and the header fields (names in lower case; the first of repeated fields).
struct HttpRequest {
  std::string method;
  std::string target;
  std::string path;
  std::map<std::string, std::string> headers;
  std::string header(const std::string& lower_name) const {
    const auto it = headers.find(lower_name);
    return it == headers.end() ? std::string() : it->second;
  }
};

// How far the bytes a connection has sent make a request head.
enum class HeadState {
  partial,  // no whole request line yet
  bad,      // the first line is not "METHOD /TARGET HTTP/1.x"
  line,     // the request line is whole (method, target and path are known), the head is not
  whole,    // the head is whole, up to its blank line
};

struct ParsedHead {
  HeadState state = HeadState::partial;
  HttpRequest request;
  std::size_t length = 0;  // the whole head's bytes with its blank line; what follows is the next
};

// Reads the request head at the start of `bytes`. Lines may end in CRLF or a bare LF. An
// HTTP/1.0 request is one on a connection to be closed ("connection: close").
ParsedHead parse_head(std::string_view bytes);

// The one range a stream request asks of a file of `size` bytes.
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t length = 0;
  bool satisfiable = true;  // false: nothing of the file is in it (answered with 416)
};

// The Range field's "bytes=A-B", "bytes=A-" or "bytes=-N". Nothing for no range, several ranges
// or a field that names no range: the whole file is answered, as for no range.
std::optional<ByteRange> byte_range(std::string_view field, std::uint64_t size);

}  // namespace pelmora::engine
