#pragma once

#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "platform/http_fetch.h"

namespace pelmora::platform {

// HttpFetch on libcurl: one worker thread drives every transfer through libcurl's multi
// interface, and each reply is handed back to the user-interface thread through `post`.
class CurlFetch final : public HttpFetch {
 public:
  // Runs a task on the user-interface thread soon; called from the worker thread.
  using Post = std::function<void(std::function<void()> task)>;

  CurlFetch(Post post, long connect_timeout_ms, long total_timeout_ms);
  ~CurlFetch() override;
  CurlFetch(const CurlFetch&) = delete;
  CurlFetch& operator=(const CurlFetch&) = delete;

  RequestId start(const std::string& url, Reply reply) override;
  void cancel(RequestId id) override;
  bool pending(RequestId id) const override;
  bool busy() const override;
  void cancel_all() override;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread worker_;
};

}  // namespace pelmora::platform
