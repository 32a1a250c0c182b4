#pragma once

#include <atomic>

#include "platform/http_fetch.h"

namespace pelmora::platform {

// HttpFetch on libcurl.
class CurlFetch final : public HttpFetch {
 public:
  CurlFetch(long connect_timeout_ms, long total_timeout_ms);
  std::string fetch_text(const std::string& url) override;
  bool busy() const override { return busy_; }
  void cancel() override { cancelled_ = true; }

 private:
  long connect_timeout_ms_;
  long total_timeout_ms_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> cancelled_{false};
};

}  // namespace pelmora::platform
