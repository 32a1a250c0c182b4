// The terminal's request head reader on any bytes a local client may send: no memory error; a
// head is read from its own bytes alone (never from a request that follows it on the
// connection), and more bytes never change what a whole head said.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "http_head.h"

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const engine::ParsedHead parsed = engine::parse_head(bytes);
  using engine::HeadState;
  if (parsed.state == HeadState::partial) FUZZ_CHECK(bytes.find('\n') == std::string_view::npos);
  if (parsed.state == HeadState::line || parsed.state == HeadState::whole) {
    const engine::HttpRequest& request = parsed.request;
    FUZZ_CHECK(!request.target.empty() && request.target.front() == '/');
    FUZZ_CHECK(request.target.starts_with(request.path));
    FUZZ_CHECK(request.path.find('?') == std::string::npos);
  }
  if (parsed.state != HeadState::whole) {
    FUZZ_CHECK(parsed.length == 0);
    return 0;
  }
  FUZZ_CHECK(parsed.length <= bytes.size());
  const std::string_view head = bytes.substr(0, parsed.length);
  FUZZ_CHECK(head.ends_with("\n\n") || head.ends_with("\r\n\r\n"));
  for (const auto& [name, value] : parsed.request.headers) {
    for (char c : name) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
    // Every value is in the head, but the "close" an HTTP/1.0 request implies.
    FUZZ_CHECK(head.find(value) != std::string_view::npos ||
               (name == "connection" && value == "close"));
  }
  // The head alone reads the same as the head with whatever follows it.
  const engine::ParsedHead alone = engine::parse_head(head);
  FUZZ_CHECK(alone.state == HeadState::whole && alone.length == parsed.length);
  FUZZ_CHECK(alone.request.target == parsed.request.target);
  FUZZ_CHECK(alone.request.headers == parsed.request.headers);
  return 0;
}
