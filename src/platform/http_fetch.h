#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelmora::platform {

// Text fetches of one address each, as the resource requests and the update check use them. A
// request never blocks its caller: `start` returns at once and the reply arrives later on the
// user-interface thread, so the window keeps answering input while a service is slow or hung.
class HttpFetch {
 public:
  using RequestId = std::uint64_t;
  // Receives the body of a successful (2xx) answer. Every failure (no connection, time-out, an
  // HTTP error status, a body that is not a short text) gives the empty text, exactly as an
  // empty answer.
  using Reply = std::function<void(std::string body)>;

  virtual ~HttpFetch() = default;
  // Starts a GET of `url` and returns its id (never 0). `reply` runs once on the user-interface
  // thread, never inside this call, when the answer or the time-out arrives (connect 5 s, whole
  // request 15 s by default), unless the request was cancelled first.
  virtual RequestId start(const std::string& url, Reply reply) = 0;
  // Ends a request at once; its reply never runs. Finished or unknown ids are ignored.
  virtual void cancel(RequestId id) = 0;
  // Whether the reply of this request is still to come.
  virtual bool pending(RequestId id) const = 0;
  // Whether any reply is still to come.
  virtual bool busy() const = 0;
  // Cancels every request under way (the program is ending).
  virtual void cancel_all() = 0;
};

// One kind of request of a window: at most one is in flight. Starting another drops the one in
// flight, whose reply is then never delivered, so the newest action of a kind wins. Destroying
// the slot cancels its request, so no reply reaches a window that is gone.
class RequestSlot {
 public:
  explicit RequestSlot(HttpFetch& http) : http_(http) {}
  ~RequestSlot();
  RequestSlot(const RequestSlot&) = delete;
  RequestSlot& operator=(const RequestSlot&) = delete;

  // Drops the request in flight and starts one for `url`. `dropped` runs if this request is in
  // turn dropped (by a later start or by drop()) before its reply.
  void start(const std::string& url, HttpFetch::Reply reply, std::function<void()> dropped = {});
  bool pending() const { return id_ != 0 && http_.pending(id_); }
  // Cancels the request in flight, if any, and runs its `dropped`.
  void drop();

 private:
  HttpFetch& http_;
  HttpFetch::RequestId id_ = 0;
  std::function<void()> dropped_;
};

}  // namespace pelmora::platform
