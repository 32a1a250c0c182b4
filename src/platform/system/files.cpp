#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace pelmora::platform::files {

namespace {

// Writes all of `content` to `fd`, retrying short writes and interrupted calls.
bool write_all(int fd, std::string_view content) {
  const char* data = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

std::string parent_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name for the temporary file beside `path` that no other writer uses at the same time.
std::string temporary_name(const std::string& path) {
  static std::mt19937_64 generator{std::random_device{}()};
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(generator() % 1000000);
}

void sync_folder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string join(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Stamp stamp(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  Stamp result;
  result.device = static_cast<unsigned long long>(info.st_dev);
  result.inode = static_cast<unsigned long long>(info.st_ino);
  result.size = static_cast<long long>(info.st_size);
  result.changed_ns =
      static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
  return result;
}

std::optional<std::string> read(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    content.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return content;
}

bool write_atomic(const std::string& path, std::string_view content) {
  // Keep the owner's permissions of the file being replaced; nobody else may read what the
  // program keeps, and a new file is the user's alone.
  mode_t mode = 0600;
  struct stat old {};
  const bool had_file = ::stat(path.c_str(), &old) == 0;
  if (had_file) {
    if (!S_ISREG(old.st_mode)) return false;
    mode = old.st_mode & 0700;
  }
  const std::string temporary = temporary_name(path);
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  if (had_file) ::fchmod(fd, mode);
  bool ok = write_all(fd, content) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  sync_folder(parent_of(path));
  return true;
}

bool remove(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return true;
  return errno == ENOENT;
}

std::vector<std::string> list_regular_files(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (is_regular_file(join(folder, name))) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

bool is_writable_directory(const std::string& folder) {
  return is_directory(folder) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool make_directories(const std::string& folder) {
  if (folder.empty()) return false;
  if (is_directory(folder)) return true;
  const std::string parent = parent_of(folder);
  if (parent != folder && !is_directory(parent)) make_directories(parent);
  ::mkdir(folder.c_str(), 0700);
  return is_directory(folder);
}

int make_private(const std::string& folder, const std::vector<std::string>& names) {
  int changed = 0;
  const uid_t user = ::getuid();
  const auto make_own_private = [&](const std::string& path, bool folder_itself) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || info.st_uid != user) return;
    if (folder_itself ? !S_ISDIR(info.st_mode) || (info.st_mode & S_ISVTX) != 0
                      : !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
      return;
    }
    if ((info.st_mode & 077) == 0) return;
    if (::chmod(path.c_str(), info.st_mode & 07700) == 0) ++changed;
  };
  // The root and the home folder hold far more than the program's files: they stay as they are.
  const char* home = std::getenv("HOME");
  if (folder != "/" && (home == nullptr || folder != home)) make_own_private(folder, true);
  for (const std::string& name : names) make_own_private(join(folder, name), false);
  return changed;
}

int remove_orphan_temporaries(const std::string& folder) {
  int removed = 0;
  for (const std::string& name : list_regular_files(folder)) {
    // NAME.tmp-PID-N, as temporary_name makes them.
    const auto mark = name.rfind(".tmp-");
    if (mark == std::string::npos || mark == 0) continue;
    const std::string tail = name.substr(mark + 5);
    const auto dash = tail.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == tail.size() || dash > 9) continue;
    if (tail.find_first_not_of("0123456789-") != std::string::npos ||
        tail.find('-', dash + 1) != std::string::npos) {
      continue;
    }
    const pid_t pid = static_cast<pid_t>(std::stol(tail.substr(0, dash)));
    // A process that still runs may be writing it right now.
    if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    if (::unlink(join(folder, name).c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace pelmora::platform::files
