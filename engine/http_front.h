#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "http_head.h"

namespace pelmora::engine {

// The answer to one admitted request, written straight to its connection from the worker that
// runs the handler. Writes wait while the client does not read (a paused player) and fail once
// the client has gone or the server stops.
class HttpAnswer {
 public:
  using Fields = std::vector<std::pair<std::string, std::string>>;

  // A whole answer with a text body.
  bool send(int status, const Fields& fields, std::string_view body);
  // The head of an answer whose body of `length` bytes follows through write().
  bool send_head(int status, const Fields& fields, std::uint64_t length);
  bool write(const char* data, std::size_t size);
  // Whether the client is still there (it has not closed or reset its side) and the server
  // still runs: what a handler that waits asks now and then.
  bool client_waiting() const;

 private:
  friend class HttpFront;
  HttpAnswer(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  bool write_all(std::string_view bytes);

  int fd_;
  const std::atomic<bool>& stopping_;
  std::uint64_t body_left_ = 0;
  bool head_sent_ = false;
  bool failed_ = false;
};

// A small HTTP/1.1 server on 127.0.0.1 for the terminal's control API and streams, made so that
// no other local process can keep the player's requests waiting:
// - one thread accepts every connection (listen backlog SOMAXCONN) and reads every request head
//   without blocking; a head must be complete within `head_time` of the connection (or of the
//   previous answer on a kept connection, plus `keep_alive_time` of idleness), however slowly
//   its bytes trickle in, and the oldest of too many unfinished heads is closed;
// - as soon as the request line is there, `admit` judges its path: a request without a valid
//   token is refused at once (its status and body) and its connection closed, before the rest of
//   its head;
// - each admitted request runs `handle` on a worker thread of its own, so that a stream waiting
//   for pieces or a client that reads slowly holds up no other request; strangers never hold a
//   worker.
// GET alone is served; anything else is refused with 405, a request with a body with 400.
class HttpFront {
 public:
  struct Refusal {
    int status = 404;
    std::string body;
  };
  // Nothing: the request may go on to `handle`.
  using Admit = std::function<std::optional<Refusal>(std::string_view path)>;
  using Handler = std::function<void(const HttpRequest&, HttpAnswer&)>;

  struct Limits {
    std::chrono::milliseconds head_time{2000};
    std::chrono::milliseconds keep_alive_time{5000};
    std::size_t max_head_bytes = 16 * 1024;
    std::size_t max_pending = 512;  // connections between requests, at most
  };

  HttpFront(Admit admit, Handler handle, Limits limits);
  ~HttpFront();
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Listens on 127.0.0.1, any free port; 0 when it cannot.
  int start();
  // Closes every connection and waits for the handlers that run to return.
  void stop();

 private:
  // A connection between requests: what it has sent of its next head, and until when it may.
  struct Pending {
    std::string buffer;
    std::chrono::steady_clock::time_point since;
    std::chrono::steady_clock::time_point deadline;
  };
  void run();
  void accept_all();
  void read_from(int fd);
  void close_pending(int fd);
  void dispatch(int fd, HttpRequest request, std::string rest);
  void serve(int fd, HttpRequest request, std::string rest);
  void resume(int fd, std::string rest);

  Admit admit_;
  Handler handle_;
  Limits limits_;
  int listener_ = -1;
  int epoll_ = -1;
  int wake_ = -1;  // eventfd: a worker hands a kept connection back
  std::atomic<bool> stopping_{false};
  std::thread loop_;
  std::map<int, Pending> pending_;  // loop thread only

  std::mutex mutex_;
  std::condition_variable idle_;
  int workers_ = 0;
  std::vector<int> busy_;                              // connections held by workers
  std::vector<std::pair<int, std::string>> returned_;  // kept connections back from workers
};

}  // namespace pelmora::engine
