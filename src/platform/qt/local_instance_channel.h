#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/instance_channel.h"

class QLocalServer;

namespace pelmora::platform {

// The single-instance channel on a per-user local socket. Which start is the first is decided by
// an exclusive lock on a file beside the socket, taken by `claim` and held for the life of the
// object (two starts at the same moment cannot both win; a crash releases it). The first start
// removes a stale socket and listens; a later start connects, sends its command line as one
// UTF-8 message and waits at most 2 s for the acknowledgement. The folder is private to the user
// (0700) and the socket is 0600. Commands arrive through Qt's event loop, on the thread that
// called `listen`.
class LocalInstanceChannel final : public InstanceChannel {
 public:
  // `name` names the channel ("Pelmora|BA1"); `folder` overrides where the socket lives (tests);
  // by default $XDG_RUNTIME_DIR/pelmora, or a private folder under the temporary folder.
  explicit LocalInstanceChannel(std::string name, std::string folder = {});
  ~LocalInstanceChannel() override;

  bool claim() override;
  void listen(std::function<void(const std::string& command)> on_command) override;
  bool send(const std::string& command) override;

  const std::string& socket_path() const { return socket_path_; }
  const std::string& lock_path() const { return lock_path_; }
  // The folder that holds the socket and the lock, made private to the user; empty when no such
  // folder could be made (then every call fails).
  static std::string default_folder();

 private:
  std::string socket_path_;
  std::string lock_path_;
  int lock_fd_ = -1;
  std::unique_ptr<QLocalServer> server_;
  std::function<void(const std::string&)> on_command_;
};

// The longest command line the channel carries; longer messages are refused.
inline constexpr std::size_t kMaxChannelMessage = 64 * 1024;

}  // namespace pelmora::platform
