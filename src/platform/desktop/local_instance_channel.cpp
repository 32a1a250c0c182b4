#include "platform/desktop/local_instance_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QtCore/QMetaObject>
#include <QtCore/QObject>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace pelmora::platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::string_view kAcknowledgement = "OK\n";
// A first start that ends without a window answers "NO " and why, on one line.
constexpr std::string_view kRefusal = "NO ";
// The longest answer a later start reads.
constexpr std::size_t kMaxReply = 1024;
// A connection that has not delivered its whole message in this time is closed.
constexpr milliseconds kReadLimit{5000};
// At most this many connections are read at the same time; a newer one takes the place of the
// one that has waited longest.
constexpr std::size_t kMaxReading = 256;
// A later start waits for an answer in slices of this length, looking between them whether the
// lock holder still lives.
constexpr milliseconds kSlice{100};
constexpr milliseconds kFirstPause{2};
constexpr milliseconds kLongestPause{250};

// Answers a connection with `reply` and closes it.
void answer(int fd, std::string_view reply) {
  ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
  ::close(fd);
}

// A file name from the channel's name: letters, digits, "-", "." and "_" stay, the rest is "_".
std::string file_stem(const std::string& name) {
  std::string stem = name;
  for (char& c : stem) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_';
    if (!plain) c = '_';
  }
  return stem;
}

// Makes `folder` (one level) private to this user; false when it exists but belongs to someone
// else, is not a folder, or cannot be made private.
bool private_folder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return false;
  }
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
  return true;
}

// Whether a socket in `folder` fits the address of a local socket.
bool fits_socket_address(const std::string& folder) {
  constexpr std::size_t kLongestName = 32;  // "/" + the socket's file name
  return folder.size() + kLongestName < sizeof(sockaddr_un{}.sun_path);
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

sockaddr_un address_of(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size(), sizeof address.sun_path - 1));
  return address;
}

// Milliseconds left until `deadline`, at most `slice`, for poll.
int wait_ms(Clock::time_point deadline, milliseconds slice) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max(milliseconds{0}, std::min(left, slice)).count());
}

bool from_this_user(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
         credentials.uid == ::getuid();
}

}  // namespace

std::string LocalInstanceChannel::default_folder() {
  const std::string runtime = environment("XDG_RUNTIME_DIR");
  if (runtime.starts_with('/')) {
    const std::string folder = runtime + "/pelmora";
    if (fits_socket_address(folder) && private_folder(folder)) return folder;
  }
  const std::string tmp = environment("TMPDIR");
  const std::string base = tmp.starts_with('/') ? tmp : "/tmp";
  const std::string shared = base + "/pelmora-" + std::to_string(::getuid());
  if (fits_socket_address(shared) && private_folder(shared)) return shared;
  // The shared temporary folder's name is taken (by another user): a folder in the user's own
  // cache instead.
  std::string cache = environment("XDG_CACHE_HOME");
  if (!cache.starts_with('/')) {
    const std::string home = environment("HOME");
    if (!home.starts_with('/')) return {};
    cache = home + "/.cache";
  }
  std::error_code error;
  std::filesystem::create_directories(cache, error);
  const std::string own = cache + "/pelmora";
  if (fits_socket_address(own) && private_folder(own)) return own;
  return {};
}

LocalInstanceChannel::LocalInstanceChannel(std::string name, std::string folder) {
  if (folder.empty()) {
    folder = default_folder();
  } else if (!private_folder(folder)) {
    folder.clear();
  }
  if (folder.empty()) return;
  const std::string stem = file_stem(name);
  socket_path_ = folder + "/" + stem + ".socket";
  lock_path_ = folder + "/" + stem + ".lock";
}

LocalInstanceChannel::~LocalInstanceChannel() {
  if (acceptor_.joinable()) {
    const char stop = 'x';
    [[maybe_unused]] const ssize_t written = ::write(wake_write_fd_, &stop, 1);
    acceptor_.join();
  }
  if (wake_write_fd_ >= 0) ::close(wake_write_fd_);
  if (listen_fd_ >= 0) {
    ::close(listen_fd_);
    // The lock is still ours: nobody else can be listening on this path.
    ::unlink(socket_path_.c_str());
  }
  // Commands that were read but never taken are not acknowledged: their starts try again.
  for (const Pending& pending : queue_) ::close(pending.fd);
  delete receiver_;
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool LocalInstanceChannel::try_lock() {
  if (lock_fd_ >= 0) return true;
  const int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lock_fd_ = fd;
  return true;
}

bool LocalInstanceChannel::claim() {
  if (lock_fd_ >= 0) return true;
  if (lock_path_.empty()) return true;  // no private folder: behave as the only instance
  if (!try_lock()) {
    // A lock file that cannot even be opened: nobody can hold it, behave as the only instance.
    if (::access(lock_path_.c_str(), F_OK) != 0) return true;
    return false;
  }
  start_accepting();
  return true;
}

void LocalInstanceChannel::start_accepting() {
  if (listen_fd_ >= 0 || socket_path_.empty()) return;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return;
  // A socket left by a crashed first instance: we hold the lock, so it is stale.
  ::unlink(socket_path_.c_str());
  const sockaddr_un address = address_of(socket_path_);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return;
  }
  ::chmod(socket_path_.c_str(), 0600);
  int wake[2];
  if (::listen(fd, SOMAXCONN) != 0 || ::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(fd);
    ::unlink(socket_path_.c_str());
    return;
  }
  listen_fd_ = fd;
  wake_write_fd_ = wake[1];
  acceptor_ = std::thread([this, fd, wake_read = wake[0]] {
    accept_loop(fd, wake_read);
    ::close(wake_read);
  });
}

void LocalInstanceChannel::accept_loop(int listen_fd, int wake_fd) {
  struct Reading {
    int fd;
    std::string data;
    Clock::time_point deadline;
  };
  std::vector<Reading> reading;
  std::vector<pollfd> watched;
  for (;;) {
    watched.clear();
    watched.push_back({wake_fd, POLLIN, 0});
    watched.push_back({listen_fd, POLLIN, 0});
    for (const Reading& connection : reading) watched.push_back({connection.fd, POLLIN, 0});
    if (::poll(watched.data(), watched.size(), 500) < 0 && errno != EINTR) break;
    if (watched[0].revents != 0) break;

    // Every connection is taken at once. When too many are being read, the one that has waited
    // longest is let go for the newcomer: a start sends its whole message as soon as it has
    // connected, so an old connection that is still incomplete is idle (its start, if it is
    // one, tries again), and idle connections can never keep a start waiting in the backlog.
    std::vector<Reading> accepted;
    std::size_t evicted = 0;
    if ((watched[1].revents & POLLIN) != 0) {
      for (;;) {
        const int fd = ::accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        if (!from_this_user(fd)) {
          ::close(fd);
          continue;
        }
        if (reading.size() - evicted + accepted.size() >= kMaxReading) {
          if (evicted < reading.size()) {
            ::close(reading[evicted].fd);
            reading[evicted].fd = -1;
            ++evicted;
          } else {
            ::close(accepted.front().fd);
            accepted.erase(accepted.begin());
          }
        }
        accepted.push_back({fd, {}, Clock::now() + kReadLimit});
      }
    }

    std::vector<Reading> still_reading;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < reading.size(); ++i) {
      Reading& connection = reading[i];
      if (connection.fd < 0) continue;  // let go for a newcomer
      const short events = watched[i + 2].revents;
      bool open = true;
      if (events != 0) {
        char buffer[4096];
        for (;;) {
          const ssize_t got = ::read(connection.fd, buffer, sizeof buffer);
          if (got > 0) {
            connection.data.append(buffer, static_cast<std::size_t>(got));
            if (connection.data.size() > 4 + kMaxChannelMessage) break;
            continue;
          }
          if (got < 0 && (errno == EINTR)) continue;
          if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) open = false;
          break;
        }
      }
      channel_message::Decoded message = channel_message::decode(connection.data);
      if (message.status == channel_message::Status::kRefused) {
        ::close(connection.fd);
        continue;
      }
      if (message.status == channel_message::Status::kComplete) {
        queue({connection.fd, std::move(message.command)});
        continue;
      }
      if (!open || now > connection.deadline) {
        ::close(connection.fd);
        continue;
      }
      still_reading.push_back(std::move(connection));
    }
    for (Reading& connection : accepted) still_reading.push_back(std::move(connection));
    reading = std::move(still_reading);
  }
  for (const Reading& connection : reading) ::close(connection.fd);
}

void LocalInstanceChannel::queue(Pending pending) {
  std::lock_guard lock(mutex_);
  if (!refusal_.empty()) {
    answer(pending.fd, refusal_);
    return;
  }
  queue_.push_back(std::move(pending));
  if (receiver_ != nullptr) {
    QMetaObject::invokeMethod(
        receiver_, [this] { take_queued(); }, Qt::QueuedConnection);
  }
}

void LocalInstanceChannel::take_queued() {
  for (;;) {
    Pending pending;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      pending = std::move(queue_.front());
      queue_.pop_front();
    }
    // The command has arrived: its start may end now.
    answer(pending.fd, kAcknowledgement);
    if (on_command_) on_command_(pending.command);
  }
}

void LocalInstanceChannel::refuse(const std::string& reason) {
  std::lock_guard lock(mutex_);
  std::string line = reason.empty() ? std::string("it ended") : reason;
  std::replace(line.begin(), line.end(), '\n', ' ');
  refusal_ = std::string(kRefusal) + line + "\n";
  for (const Pending& pending : queue_) answer(pending.fd, refusal_);
  queue_.clear();
}

void LocalInstanceChannel::listen(std::function<void(const std::string& command)> on_command) {
  if (lock_fd_ < 0 || listen_fd_ < 0) return;
  on_command_ = std::move(on_command);
  std::lock_guard lock(mutex_);
  if (receiver_ == nullptr) receiver_ = new QObject;
  if (!queue_.empty()) {
    QMetaObject::invokeMethod(
        receiver_, [this] { take_queued(); }, Qt::QueuedConnection);
  }
}

bool LocalInstanceChannel::send(const std::string& command) {
  return deliver(command, kPatience, /*may_claim=*/false) == HandOver::kDelivered;
}

LocalInstanceChannel::HandOver LocalInstanceChannel::hand_over(const std::string& command,
                                                               milliseconds patience) {
  return deliver(command, patience, /*may_claim=*/true);
}

LocalInstanceChannel::HandOver LocalInstanceChannel::deliver(const std::string& command,
                                                             milliseconds patience,
                                                             bool may_claim) {
  failure_.clear();
  if (socket_path_.empty()) {
    failure_ = "no private folder for the instance channel";
    return HandOver::kFailed;
  }
  if (command.size() > kMaxChannelMessage) {
    failure_ = "the command line is longer than " + std::to_string(kMaxChannelMessage) + " bytes";
    return HandOver::kFailed;
  }
  const std::string message = channel_message::encode(command);
  const auto deadline = Clock::now() + patience;
  milliseconds pause = kFirstPause;
  for (;;) {
    // The lock is free: the running instance has ended (or never listened) without taking the
    // command.
    if (try_lock()) {
      if (may_claim) {
        start_accepting();
        return HandOver::kFirst;
      }
      ::close(lock_fd_);
      lock_fd_ = -1;
      failure_ = "no running instance took the command";
      return HandOver::kFailed;
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      failure_ = std::string("no socket: ") + std::strerror(errno);
      return HandOver::kFailed;
    }
    const sockaddr_un address = address_of(socket_path_);
    // Refused while the first start is not listening yet, or while its backlog is full.
    bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (!connected && errno == EINPROGRESS) {
      pollfd watch{fd, POLLOUT, 0};
      int error = 0;
      socklen_t size = sizeof error;
      connected = ::poll(&watch, 1, wait_ms(deadline, kSlice)) == 1 &&
                  ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    bool lock_freed = false;
    if (connected) {
      std::size_t sent = 0;
      std::string reply;
      while (Clock::now() < deadline && !lock_freed) {
        pollfd watch{fd, static_cast<short>(sent < message.size() ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&watch, 1, wait_ms(deadline, kSlice));
        if (ready == 0) {
          lock_freed = try_lock();
          continue;
        }
        if (ready < 0) {
          if (errno == EINTR) continue;
          break;
        }
        if (sent < message.size()) {
          const ssize_t wrote =
              ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
          if (wrote < 0 && errno != EAGAIN && errno != EINTR) break;
          if (wrote > 0) sent += static_cast<std::size_t>(wrote);
          continue;
        }
        char buffer[16];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (got <= 0) break;  // closed without an answer: the instance is ending
        reply.append(buffer, static_cast<std::size_t>(got));
        if (reply.starts_with(kAcknowledgement) || reply.ends_with('\n')) break;
        if (reply.size() > kMaxReply) break;
      }
      ::close(fd);
      if (reply.starts_with(kAcknowledgement)) return HandOver::kDelivered;
      if (reply.starts_with(kRefusal) && reply.ends_with('\n')) {
        failure_ = "the running Pelmora ended without a window (" +
                   reply.substr(kRefusal.size(), reply.size() - kRefusal.size() - 1) + ")";
        return HandOver::kFailed;
      }
    } else {
      ::close(fd);
    }
    if (lock_freed) continue;
    if (Clock::now() >= deadline) {
      failure_ = "the running Pelmora did not take the command within " +
                 std::to_string(patience.count()) + " ms";
      return HandOver::kFailed;
    }
    std::this_thread::sleep_for(
        std::min(pause, std::chrono::duration_cast<milliseconds>(deadline - Clock::now())));
    pause = std::min(pause * 2, kLongestPause);
  }
}

}  // namespace pelmora::platform
