#include "runtime_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pelmora::engine::runtime {
namespace {

bool private_folder(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (mkdir(path.c_str(), 0700) != 0) return false;
    if (lstat(path.c_str(), &st) != 0) return false;
  }
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid()) return false;
  if ((st.st_mode & 0077) != 0 && chmod(path.c_str(), 0700) != 0) return false;
  return true;
}

}  // namespace

std::string runtime_folder() {
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && xdg[0] == '/') {
    struct stat st {};
    if (stat(xdg, &st) == 0 && S_ISDIR(st.st_mode) && access(xdg, W_OK) == 0) return xdg;
  }
  std::string base = "/tmp";
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') base = tmp;
  const std::string folder = base + "/pelmora-engine-" + std::to_string(geteuid());
  return private_folder(folder) ? folder : std::string();
}

std::optional<int> take_lock(const std::string& folder) {
  const std::string path = folder + "/pelmora-engine.lock";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return std::nullopt;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return std::nullopt;
  }
  return fd;
}

std::string endpoint_path(const std::string& folder) {
  return folder + "/pelmora-engine.endpoint";
}

bool write_endpoint(const std::string& folder, const std::string& base_url) {
  const std::string path = endpoint_path(folder);
  const std::string temporary = path + ".tmp-" + std::to_string(getpid());
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  const std::string line = base_url + "\n";
  const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

std::string read_endpoint(const std::string& folder) {
  std::ifstream in(endpoint_path(folder));
  std::string line;
  std::getline(in, line);
  if (!line.starts_with("http://127.0.0.1:")) return {};
  return line;
}

void remove_endpoint(const std::string& folder) {
  unlink(endpoint_path(folder).c_str());
}

}  // namespace pelmora::engine::runtime
