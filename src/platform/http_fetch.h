#pragma once

#include <string>

namespace pelmora::platform {

// Synchronous text fetch of one address, as the resource requests and the update check use it.
// Blocks the calling (user-interface) thread for at most the configured time-outs (connect 5 s,
// whole request 15 s by default), so a hung service can never freeze the window for ever.
// Never re-enters the program.
class HttpFetch {
 public:
  virtual ~HttpFetch() = default;
  // The body of a successful (2xx) answer. Every failure (no connection, time-out, an HTTP
  // error status, a body that is not text) gives the empty text, exactly as an empty answer.
  virtual std::string fetch_text(const std::string& url) = 0;
  // Whether a fetch is under way (a caller can cancel it from a re-entered handler).
  virtual bool busy() const = 0;
  // Ends a running fetch at the next opportunity; it then returns the empty text.
  virtual void cancel() = 0;
};

}  // namespace pelmora::platform
