#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/channel_message.h"
#include "platform/instance_channel.h"

class QObject;

namespace pelmora::platform {

// The single-instance channel on a per-user local socket. Which start is the first is decided by
// an exclusive lock on a file beside the socket, taken by `claim` and held for the life of the
// object (two starts at the same moment cannot both win; a crash releases it).
//
// The first start listens from the moment it wins the lock, on a thread of its own: every
// connection is accepted and its message read at once, whatever the user-interface thread is
// doing (the program may still be starting), and queued. The user-interface thread takes the
// queued commands once `listen` has been called, acknowledges each as it takes it and hands it
// to the program. A message is one UTF-8 command line after its length (four bytes,
// big-endian); the acknowledgement is "OK\n", a refusal "NO " and the reason on one line.
//
// A later start connects, sends its command line and waits for the acknowledgement. While the
// lock holder lives it keeps trying, with growing pauses, for a refused or closed connection; a
// holder that ends before acknowledging frees the lock, and the waiting start then takes it and
// becomes the first itself. The folder is private to the user (0700), the socket is 0600, and
// connections from other users are refused.
class LocalInstanceChannel final : public InstanceChannel {
 public:
  // How a later start's hand-over ended.
  enum class HandOver {
    kDelivered,  // the running instance took the command
    kFirst,      // the running instance ended first: this start now holds the channel
    kFailed,     // nobody took the command in time; `failure()` says why
  };

  // How long a later start waits for the running instance to take its command.
  static constexpr std::chrono::milliseconds kPatience{30000};

  // `name` names the channel ("Pelmora|BA1"); `folder` overrides where the socket lives (tests);
  // by default the folder of `default_folder`.
  explicit LocalInstanceChannel(std::string name, std::string folder = {});
  ~LocalInstanceChannel() override;
  LocalInstanceChannel(const LocalInstanceChannel&) = delete;
  LocalInstanceChannel& operator=(const LocalInstanceChannel&) = delete;

  // Takes the lock and starts accepting (commands wait in the queue until `listen`).
  bool claim() override;
  // Hands every queued and later command to `on_command` on the calling (user-interface) thread,
  // through its event loop. Needs the application object.
  void listen(std::function<void(const std::string& command)> on_command) override;
  // A later start's delivery: true when the running instance took the command. Never claims.
  bool send(const std::string& command) override;

  // The first start ends without ever having a window (the user declined to go on): every
  // command it holds, and every one that arrives until it ends, is answered with a refusal that
  // says `reason`, so that the starts waiting on it say so and fail instead of each becoming
  // the window in turn and asking the user again. Commands already taken are not affected.
  void refuse(const std::string& reason);

  // A later start's delivery, for a start that did not win `claim`: retries while the lock
  // holder lives, at most `patience` in all. When the holder ends before it took the command,
  // this start claims the channel and the result is kFirst.
  HandOver hand_over(const std::string& command, std::chrono::milliseconds patience = kPatience);
  // Why the last hand-over failed, as a sentence for standard error.
  const std::string& failure() const { return failure_; }

  const std::string& socket_path() const { return socket_path_; }
  const std::string& lock_path() const { return lock_path_; }
  // The folder that holds the socket and the lock, private to the user: $XDG_RUNTIME_DIR/pelmora;
  // without it (or when it cannot be used) $TMPDIR/pelmora-UID, or /tmp/pelmora-UID; when that
  // belongs to someone else, $XDG_CACHE_HOME/pelmora (~/.cache/pelmora). Empty when no such
  // folder could be made (then every start behaves as the only one).
  static std::string default_folder();

 private:
  struct Pending {
    int fd = -1;
    std::string command;
  };

  bool try_lock();
  void start_accepting();
  void accept_loop(int listen_fd, int wake_fd);
  void queue(Pending pending);
  void take_queued();
  HandOver deliver(const std::string& command, std::chrono::milliseconds patience, bool may_claim);

  std::string socket_path_;
  std::string lock_path_;
  int lock_fd_ = -1;
  int listen_fd_ = -1;
  int wake_write_fd_ = -1;  // written to end the accepting thread
  std::thread acceptor_;
  std::string failure_;

  std::mutex mutex_;  // guards queue_ and receiver_
  std::deque<Pending> queue_;
  std::string refusal_;          // the reply to every command once `refuse` ran; empty before
  QObject* receiver_ = nullptr;  // lives on the user-interface thread once `listen` ran
  std::function<void(const std::string&)> on_command_;
};

}  // namespace pelmora::platform
