#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelmora::testing {

// A real HTTP service on 127.0.0.1 at a free port, running on its own thread for the life of the
// object. Each path answers from a handler the test sets; unknown paths get 404.
class LoopbackServer {
 public:
  struct Reply {
    int status = 200;
    std::string body;
    std::string content_type = "text/plain; charset=utf-8";
    int delay_ms = 0;  // answer only after this long (bounded by the server's stop)
    int drip_ms = 0;   // send the body one byte at a time, this long apart
  };
  // Receives the path and the raw query string.
  using Handler = std::function<Reply(const std::string& path, const std::string& query)>;

  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  void on(const std::string& path, Handler handler);
  // "http://127.0.0.1:PORT/"
  std::string base_url() const;
  int port() const { return port_; }
  int requests() const;
  // The request line of every request so far, as it came over the wire
  // ("GET /pp.htm?1-%u4E2D-0 HTTP/1.1"), in order.
  std::vector<std::string> request_lines() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
  int port_ = 0;
};

}  // namespace pelmora::testing
