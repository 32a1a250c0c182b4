#include "platform/http_fetch.h"

#include <utility>

namespace pelmora::platform {

RequestSlot::~RequestSlot() {
  if (id_ != 0) http_.cancel(id_);
}

void RequestSlot::start(const std::string& url, HttpFetch::Reply reply,
                        std::function<void()> dropped) {
  drop();
  dropped_ = std::move(dropped);
  id_ = http_.start(url, [this, reply = std::move(reply)](std::string body) {
    // The slot is free again before the reply's handler runs, so the handler may start the
    // next request of this kind itself.
    id_ = 0;
    dropped_ = nullptr;
    reply(std::move(body));
  });
}

void RequestSlot::drop() {
  if (id_ == 0) return;
  const bool was_pending = http_.pending(id_);
  http_.cancel(id_);
  id_ = 0;
  std::function<void()> dropped = std::exchange(dropped_, nullptr);
  if (was_pending && dropped) dropped();
}

}  // namespace pelmora::platform
