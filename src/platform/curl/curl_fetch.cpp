#include "platform/curl/curl_fetch.h"

#include <curl/curl.h>

#include <mutex>

namespace pelmora::platform {

namespace {

// Bodies above this size are not the short texts the program asks for; such an answer fails.
constexpr std::size_t kMaxBody = 8 * 1024 * 1024;

struct Transfer {
  std::string body;
  const std::atomic<bool>* cancelled = nullptr;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer->body.size() + bytes > kMaxBody) return 0;  // aborts the transfer
  transfer->body.append(data, bytes);
  return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* transfer = static_cast<Transfer*>(user);
  return transfer->cancelled->load() ? 1 : 0;  // non-zero aborts
}

void global_init_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlFetch::CurlFetch(long connect_timeout_ms, long total_timeout_ms)
    : connect_timeout_ms_(connect_timeout_ms), total_timeout_ms_(total_timeout_ms) {
  global_init_once();
}

std::string CurlFetch::fetch_text(const std::string& url) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return {};
  Transfer transfer;
  transfer.cancelled = &cancelled_;
  cancelled_ = false;
  busy_ = true;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_timeout_ms_);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, total_timeout_ms_);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Pelmora/3.0");
  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  busy_ = false;
  if (result != CURLE_OK || status < 200 || status >= 300) return {};
  return std::move(transfer.body);
}

}  // namespace pelmora::platform
