#include "random_token.h"

#include <fcntl.h>
#include <unistd.h>

#include <random>

namespace pelmora::engine {

std::string random_token() {
  unsigned char bytes[16];
  bool filled = false;
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    filled = ::read(fd, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
    ::close(fd);
  }
  if (!filled) {
    std::random_device device;
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

}  // namespace pelmora::engine
