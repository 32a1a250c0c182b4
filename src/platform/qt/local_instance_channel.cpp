#include "platform/qt/local_instance_channel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtCore/QByteArray>
#include <QtCore/QDataStream>
#include <QtNetwork/QLocalServer>
#include <QtNetwork/QLocalSocket>
#include <cstdlib>
#include <memory>

namespace pelmora::platform {

namespace {

constexpr int kWaitMs = 2000;
const QByteArray kAcknowledgement = "OK\n";

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
// else or cannot be made private.
bool private_folder(const std::string& folder) {
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
    return false;
  }
  if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return false;
  return true;
}

// One message: its length as four bytes, big-endian, then the UTF-8 text.
QByteArray frame(const std::string& command) {
  QByteArray message;
  QDataStream stream(&message, QIODevice::WriteOnly);
  stream.setByteOrder(QDataStream::BigEndian);
  stream << static_cast<quint32>(command.size());
  message.append(command.data(), static_cast<qsizetype>(command.size()));
  return message;
}

}  // namespace

std::string LocalInstanceChannel::default_folder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    const std::string folder = std::string(runtime) + "/pelmora";
    if (private_folder(folder)) return folder;
  }
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = (tmp != nullptr && *tmp == '/') ? tmp : "/tmp";
  const std::string folder = base + "/pelmora-" + std::to_string(::getuid());
  return private_folder(folder) ? folder : std::string();
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
  if (server_) {
    server_->close();
    server_.reset();
    // The lock is still ours: nobody else can be listening on this path.
    ::unlink(socket_path_.c_str());
  }
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

bool LocalInstanceChannel::claim() {
  if (lock_fd_ >= 0) return true;
  if (lock_path_.empty()) return true;  // no private folder: behave as the only instance
  const int fd = ::open(lock_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lock_fd_ = fd;
  return true;
}

void LocalInstanceChannel::listen(std::function<void(const std::string& command)> on_command) {
  if (lock_fd_ < 0 || socket_path_.empty()) return;
  on_command_ = std::move(on_command);
  // A socket left by a crashed first instance: we hold the lock, so it is stale.
  QLocalServer::removeServer(QString::fromStdString(socket_path_));
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(QString::fromStdString(socket_path_))) {
    server_.reset();
    return;
  }
  ::chmod(socket_path_.c_str(), 0600);
  QObject::connect(server_.get(), &QLocalServer::newConnection, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      // What has arrived of this connection's one message so far.
      auto buffered = std::make_shared<QByteArray>();
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffered] {
        *buffered += socket->readAll();
        if (buffered->size() < 4) return;
        QDataStream stream(*buffered);
        stream.setByteOrder(QDataStream::BigEndian);
        quint32 length = 0;
        stream >> length;
        if (length > kMaxChannelMessage) {
          socket->abort();
          return;
        }
        if (static_cast<quint32>(buffered->size() - 4) < length) return;
        const std::string command(buffered->constData() + 4, length);
        buffered->clear();
        socket->write(kAcknowledgement);
        socket->flush();
        socket->disconnectFromServer();
        if (on_command_) on_command_(command);
      });
    }
  });
}

bool LocalInstanceChannel::send(const std::string& command) {
  if (socket_path_.empty() || command.size() > kMaxChannelMessage) return false;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(socket_path_));
  if (!socket.waitForConnected(kWaitMs)) return false;
  socket.write(frame(command));
  if (!socket.waitForBytesWritten(kWaitMs)) return false;
  QByteArray reply;
  while (reply.size() < kAcknowledgement.size()) {
    if (!socket.waitForReadyRead(kWaitMs)) break;
    reply += socket.readAll();
  }
  return reply.startsWith(kAcknowledgement);
}

}  // namespace pelmora::platform
