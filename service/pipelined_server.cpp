#include "pipelined_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelmora::service {
namespace {

// Milliseconds of a (seconds, microseconds) time-out, as poll(2) takes them.
int to_ms(time_t sec, time_t usec) {
  return static_cast<int>(sec * 1000 + usec / 1000);
}

bool wait_for(socket_t sock, short events, int timeout_ms) {
  pollfd fd{sock, events, 0};
  for (;;) {
    const int ready = ::poll(&fd, 1, timeout_ms);
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0;
  }
}

void ip_and_port(const sockaddr_storage& address, std::string& ip, int& port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(address);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  ip = text;
}

// One connection's stream: a read buffer that outlives each request.
class ConnectionStream : public httplib::Stream {
 public:
  ConnectionStream(socket_t sock, int read_timeout_ms, int write_timeout_ms)
      : sock_(sock), read_timeout_ms_(read_timeout_ms), write_timeout_ms_(write_timeout_ms) {}

  // Whether a next request has begun within `timeout_ms`: bytes already read count.
  bool next_request_within(int timeout_ms) const {
    return buffered() > 0 || wait_for(sock_, POLLIN, timeout_ms);
  }

  bool is_readable() const override {
    return buffered() > 0 || wait_for(sock_, POLLIN, read_timeout_ms_);
  }
  bool is_writable() const override { return wait_for(sock_, POLLOUT, write_timeout_ms_); }

  ssize_t read(char* ptr, size_t size) override {
    if (buffered() == 0) {
      if (size >= sizeof buffer_) return receive(ptr, size);
      const ssize_t got = receive(buffer_, sizeof buffer_);
      if (got <= 0) return got;
      begin_ = 0;
      end_ = static_cast<size_t>(got);
    }
    const size_t n = std::min(size, buffered());
    std::memcpy(ptr, buffer_ + begin_, n);
    begin_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (!is_writable()) return -1;
    for (;;) {
      const ssize_t sent = ::send(sock_, ptr, size, MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
      return sent;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ip_and_port(address, ip, port);
    }
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ip_and_port(address, ip, port);
    }
  }
  socket_t socket() const override { return sock_; }

 private:
  size_t buffered() const { return end_ - begin_; }

  ssize_t receive(char* ptr, size_t size) {
    if (!wait_for(sock_, POLLIN, read_timeout_ms_)) return -1;
    for (;;) {
      const ssize_t got = ::recv(sock_, ptr, size, 0);
      if (got < 0 && errno == EINTR) continue;
      return got;
    }
  }

  socket_t sock_;
  int read_timeout_ms_;
  int write_timeout_ms_;
  char buffer_[4096];
  size_t begin_ = 0;
  size_t end_ = 0;
};

}  // namespace

bool PipelinedServer::process_and_close_socket(socket_t sock) {
  ConnectionStream stream(sock, to_ms(read_timeout_sec_, read_timeout_usec_),
                          to_ms(write_timeout_sec_, write_timeout_usec_));
  bool answered = false;
  for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
    if (!stream.next_request_within(static_cast<int>(keep_alive_timeout_sec_ * 1000))) break;
    bool closed = false;
    answered = process_request(stream, left == 1, closed, nullptr);
    if (!answered || closed) break;
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return answered;
}

}  // namespace pelmora::service
