#include "platform/curl/curl_fetch.h"

#include <curl/curl.h>

#include <mutex>
#include <utility>
#include <vector>

namespace pelmora::platform {

namespace {

// Bodies above this size are not the short texts the program asks for; such an answer fails.
constexpr std::size_t kMaxBody = 8 * 1024 * 1024;
// The worker looks at its queues at least this often even when no transfer wakes it.
constexpr int kIdlePollMs = 1000;

void global_init_once() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// What the user-interface thread and the worker share. The replies waiting for delivery belong
// to the user-interface thread alone; the queues to the worker are guarded by the mutex.
struct CurlFetch::Shared {
  Post post;
  long connect_timeout_ms;
  long total_timeout_ms;

  // User-interface thread only.
  std::map<RequestId, Reply> replies;
  RequestId last_id = 0;
  bool closed = false;  // the fetch is gone: replies still queued are dropped

  // Guarded by `mutex`.
  std::mutex mutex;
  std::vector<std::pair<RequestId, std::string>> to_start;
  std::vector<RequestId> to_cancel;
  bool stop = false;
  CURLM* multi = nullptr;  // made before the worker starts, cleaned up after it ends

  // On the user-interface thread: hands a finished transfer's body to its reply.
  void deliver(RequestId id, std::string body) {
    if (closed) return;
    const auto found = replies.find(id);
    if (found == replies.end()) return;  // cancelled while the answer was on its way
    Reply reply = std::move(found->second);
    replies.erase(found);
    reply(std::move(body));
  }
};

namespace {

struct Transfer {
  CurlFetch::RequestId id = 0;
  CURL* easy = nullptr;
  std::string body;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer->body.size() + bytes > kMaxBody) return 0;  // aborts the transfer
  transfer->body.append(data, bytes);
  return bytes;
}

CURL* make_easy(Transfer& transfer, const std::string& url, long connect_ms, long total_ms) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return nullptr;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_PRIVATE, &transfer);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connect_ms);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, total_ms);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Pelmora/3.0");
  transfer.easy = curl;
  return curl;
}

// The worker: adds the transfers asked for, removes the cancelled ones, drives them all and
// posts each finished one's body back, until the fetch stops.
void run_worker(const std::shared_ptr<CurlFetch::Shared>& shared) {
  CURLM* multi = shared->multi;
  std::map<CurlFetch::RequestId, std::unique_ptr<Transfer>> transfers;
  const auto finish = [&](CurlFetch::RequestId id) {
    const auto found = transfers.find(id);
    if (found == transfers.end()) return;
    curl_multi_remove_handle(multi, found->second->easy);
    curl_easy_cleanup(found->second->easy);
    transfers.erase(found);
  };
  for (;;) {
    std::vector<std::pair<CurlFetch::RequestId, std::string>> to_start;
    std::vector<CurlFetch::RequestId> to_cancel;
    {
      const std::lock_guard lock(shared->mutex);
      if (shared->stop) break;
      to_start.swap(shared->to_start);
      to_cancel.swap(shared->to_cancel);
    }
    for (auto& [id, url] : to_start) {
      auto transfer = std::make_unique<Transfer>();
      transfer->id = id;
      CURL* easy = make_easy(*transfer, url, shared->connect_timeout_ms, shared->total_timeout_ms);
      if (easy == nullptr || curl_multi_add_handle(multi, easy) != CURLM_OK) {
        if (easy != nullptr) curl_easy_cleanup(easy);
        shared->post([shared, id = id] { shared->deliver(id, {}); });
        continue;
      }
      transfers.emplace(id, std::move(transfer));
    }
    for (const CurlFetch::RequestId id : to_cancel) finish(id);

    int running = 0;
    curl_multi_perform(multi, &running);
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* transfer = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
      long status = 0;
      curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
      const bool ok = message->data.result == CURLE_OK && status >= 200 && status < 300;
      const CurlFetch::RequestId id = transfer->id;
      std::string body = ok ? std::move(transfer->body) : std::string();
      finish(id);
      shared->post(
          [shared, id, body = std::move(body)]() mutable { shared->deliver(id, std::move(body)); });
    }
    curl_multi_poll(multi, nullptr, 0, kIdlePollMs, nullptr);
  }
  while (!transfers.empty()) finish(transfers.begin()->first);
}

}  // namespace

CurlFetch::CurlFetch(Post post, long connect_timeout_ms, long total_timeout_ms)
    : shared_(std::make_shared<Shared>()) {
  global_init_once();
  shared_->post = std::move(post);
  shared_->connect_timeout_ms = connect_timeout_ms;
  shared_->total_timeout_ms = total_timeout_ms;
  shared_->multi = curl_multi_init();
  worker_ = std::thread([shared = shared_] { run_worker(shared); });
}

CurlFetch::~CurlFetch() {
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
  }
  curl_multi_wakeup(shared_->multi);
  worker_.join();
  curl_multi_cleanup(shared_->multi);
  shared_->multi = nullptr;
  shared_->closed = true;
  shared_->replies.clear();
}

HttpFetch::RequestId CurlFetch::start(const std::string& url, Reply reply) {
  const RequestId id = ++shared_->last_id;
  shared_->replies.emplace(id, std::move(reply));
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->to_start.emplace_back(id, url);
  }
  curl_multi_wakeup(shared_->multi);
  return id;
}

void CurlFetch::cancel(RequestId id) {
  if (shared_->replies.erase(id) == 0) return;
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->to_cancel.push_back(id);
  }
  curl_multi_wakeup(shared_->multi);
}

bool CurlFetch::pending(RequestId id) const {
  return shared_->replies.contains(id);
}

bool CurlFetch::busy() const {
  return !shared_->replies.empty();
}

void CurlFetch::cancel_all() {
  while (!shared_->replies.empty()) cancel(shared_->replies.begin()->first);
}

}  // namespace pelmora::platform
