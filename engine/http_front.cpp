#include "http_front.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace pelmora::engine {
namespace {

using Clock = std::chrono::steady_clock;

std::string_view reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 206:
      return "Partial Content";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 416:
      return "Range Not Satisfiable";
    case 431:
      return "Request Header Fields Too Large";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

std::string head_text(int status, const HttpAnswer::Fields& fields, std::uint64_t length,
                      bool closing) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason(status)) +
                     "\r\nContent-Length: " + std::to_string(length) + "\r\n";
  for (const auto& [name, value] : fields) head += name + ": " + value + "\r\n";
  if (closing) head += "Connection: close\r\n";
  return head + "\r\n";
}

// Best effort on a connection that is about to close: a refusal is short and the socket's
// buffer empty, so it fits; a client that cannot take it loses nothing it was owed.
void refuse_and_close(int fd, int status, std::string_view body) {
  const std::string answer =
      head_text(status, {{"Content-Type", "text/plain; charset=utf-8"}}, body.size(), true) +
      std::string(body);
  [[maybe_unused]] const ssize_t sent =
      ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool HttpAnswer::write_all(std::string_view bytes) {
  while (!bytes.empty() && !failed_) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      // The client does not read now (a paused player): wait, but not past a stop.
      pollfd wait{fd_, POLLOUT, 0};
      ::poll(&wait, 1, 200);
      if (stopping_ || (wait.revents & (POLLERR | POLLHUP)) != 0) failed_ = true;
    } else {
      failed_ = true;
    }
  }
  return !failed_;
}

bool HttpAnswer::send(int status, const Fields& fields, std::string_view body) {
  if (head_sent_) return false;
  head_sent_ = true;
  return write_all(head_text(status, fields, body.size(), false) + std::string(body));
}

bool HttpAnswer::send_head(int status, const Fields& fields, std::uint64_t length) {
  if (head_sent_) return false;
  head_sent_ = true;
  body_left_ = length;
  return write_all(head_text(status, fields, length, false));
}

bool HttpAnswer::write(const char* data, std::size_t size) {
  if (!head_sent_ || size > body_left_) {
    failed_ = true;
    return false;
  }
  body_left_ -= size;
  return write_all(std::string_view(data, size));
}

bool HttpAnswer::client_waiting() const {
  if (stopping_ || failed_) return false;
  pollfd check{fd_, POLLRDHUP, 0};
  if (::poll(&check, 1, 0) < 0) return false;
  return (check.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

HttpFront::HttpFront(Admit admit, Handler handle, Limits limits)
    : admit_(std::move(admit)), handle_(std::move(handle)), limits_(limits) {}

HttpFront::~HttpFront() {
  stop();
}

int HttpFront::start() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return 0;
  int yes = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, SOMAXCONN) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    listener_ = -1;
    return 0;
  }
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event listen_event{EPOLLIN, {.fd = listener_}};
  epoll_event wake_event{EPOLLIN, {.fd = wake_}};
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_, &listen_event);
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &wake_event);
  loop_ = std::thread([this] { run(); });
  return ntohs(address.sin_port);
}

void HttpFront::stop() {
  if (!loop_.joinable()) return;
  stopping_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t woken = ::write(wake_, &one, sizeof one);
  loop_.join();
  {
    std::unique_lock lock(mutex_);
    // Wakes handlers that wait on a client; they notice the stop and return.
    for (int fd : busy_) ::shutdown(fd, SHUT_RDWR);
    idle_.wait(lock, [this] { return workers_ == 0; });
    for (auto& [fd, rest] : returned_) ::close(fd);
    returned_.clear();
  }
  ::close(listener_);
  ::close(epoll_);
  ::close(wake_);
}

void HttpFront::run() {
  std::vector<epoll_event> events(64);
  while (!stopping_) {
    const auto now = Clock::now();
    auto next = now + std::chrono::milliseconds(500);
    for (const auto& [fd, pending] : pending_) next = std::min(next, pending.deadline);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
    const int count = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                                   static_cast<int>(std::max<long long>(wait, 0) + 1));
    for (int i = 0; i < count && !stopping_; ++i) {
      const int fd = events[static_cast<std::size_t>(i)].data.fd;
      if (fd == listener_) {
        accept_all();
      } else if (fd == wake_) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t got = ::read(wake_, &value, sizeof value);
        std::vector<std::pair<int, std::string>> back;
        {
          std::lock_guard lock(mutex_);
          back.swap(returned_);
        }
        for (auto& [kept, rest] : back) {
          const auto at = Clock::now();
          pending_[kept] =
              Pending{std::move(rest), at, at + limits_.keep_alive_time + limits_.head_time};
          epoll_event event{EPOLLIN | EPOLLRDHUP, {.fd = kept}};
          ::epoll_ctl(epoll_, EPOLL_CTL_ADD, kept, &event);
          // A request that came in the same packets as the last one is read now.
          read_from(kept);
        }
      } else if (pending_.count(fd)) {
        read_from(fd);
      }
    }
    const auto at = Clock::now();
    std::vector<int> expired;
    for (const auto& [fd, pending] : pending_) {
      if (pending.deadline <= at) expired.push_back(fd);
    }
    for (int fd : expired) close_pending(fd);
  }
  std::vector<int> open;
  for (const auto& [fd, pending] : pending_) open.push_back(fd);
  for (int fd : open) close_pending(fd);
}

void HttpFront::accept_all() {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (pending_.size() >= limits_.max_pending) {
      // Too many connections without a request: the one that has waited longest goes.
      auto oldest = pending_.begin();
      for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->second.since < oldest->second.since) oldest = it;
      }
      close_pending(oldest->first);
    }
    int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const auto now = Clock::now();
    pending_[fd] = Pending{{}, now, now + limits_.head_time};
    epoll_event event{EPOLLIN | EPOLLRDHUP, {.fd = fd}};
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }
}

void HttpFront::close_pending(int fd) {
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  pending_.erase(fd);
}

void HttpFront::read_from(int fd) {
  Pending& pending = pending_.at(fd);
  char chunk[4096];
  bool closed = false;
  for (;;) {
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got > 0) {
      pending.buffer.append(chunk, static_cast<std::size_t>(got));
      if (pending.buffer.size() > limits_.max_head_bytes) break;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
    break;
  }
  const std::string& buffer = pending.buffer;
  ParsedHead parsed = parse_head(buffer);
  if (parsed.state == HeadState::partial) {
    if (closed || buffer.size() > limits_.max_head_bytes) close_pending(fd);
    return;
  }
  const auto refuse = [&](int status, std::string_view body) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    pending_.erase(fd);
    refuse_and_close(fd, status, body);
  };
  if (parsed.state == HeadState::bad) {
    refuse(400, "");
    return;
  }
  // The request line is judged at once: a stranger is refused before the rest of its head.
  if (const std::optional<Refusal> refusal = admit_(parsed.request.path)) {
    refuse(refusal->status, refusal->body);
    return;
  }
  if (parsed.state != HeadState::whole) {
    if (closed || buffer.size() > limits_.max_head_bytes) refuse(431, "");
    return;
  }
  std::string rest = buffer.substr(parsed.length);
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  pending_.erase(fd);
  dispatch(fd, std::move(parsed.request), std::move(rest));
}

void HttpFront::dispatch(int fd, HttpRequest request, std::string rest) {
  std::lock_guard lock(mutex_);
  ++workers_;
  busy_.push_back(fd);
  std::thread([this, fd, request = std::move(request), rest = std::move(rest)]() mutable {
    serve(fd, std::move(request), std::move(rest));
  }).detach();
}

void HttpFront::serve(int fd, HttpRequest request, std::string rest) {
  HttpAnswer answer(fd, stopping_);
  const std::string length = request.header("content-length");
  bool keep = lower(request.header("connection")) != "close";
  if (request.method != "GET") {
    answer.send(405, {{"Allow", "GET"}}, "");
    keep = false;
  } else if ((!length.empty() && length != "0") || !request.header("transfer-encoding").empty()) {
    answer.send(400, {}, "");
    keep = false;
  } else {
    handle_(request, answer);
  }
  keep = keep && answer.head_sent_ && !answer.failed_ && answer.body_left_ == 0 && !stopping_;
  std::lock_guard lock(mutex_);
  busy_.erase(std::find(busy_.begin(), busy_.end(), fd));
  if (keep) {
    returned_.emplace_back(fd, std::move(rest));
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(wake_, &one, sizeof one);
  } else {
    ::close(fd);
  }
  --workers_;
  idle_.notify_all();
}

}  // namespace pelmora::engine
