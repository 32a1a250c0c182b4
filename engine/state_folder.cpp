#include "state_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace pelmora::engine::state_folder {
namespace {

// Takes group and other access from the entry at `fd` when it is the user's own.
void take_others_access(int fd, mode_t keep) {
  struct stat info {};
  if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 0077) != 0) {
    ::fchmod(fd, info.st_mode & keep);
  }
}

}  // namespace

bool keep_private(const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path path(folder);
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  // Opened without following a link: a link put in the folder's place is not made private.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) return false;
  take_others_access(dir, 0700);
  if (DIR* listing = ::fdopendir(::dup(dir))) {
    while (const dirent* entry = ::readdir(listing)) {
      if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
      const int file = ::openat(dir, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
      if (file < 0) continue;
      struct stat info {};
      if (::fstat(file, &info) == 0 && S_ISREG(info.st_mode)) take_others_access(file, 0600);
      ::close(file);
    }
    ::closedir(listing);
  }
  ::close(dir);
  return true;
}

bool write_file(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    written = put > 0;
    if (written) done += static_cast<std::size_t>(put);
  }
  // A temporary file of an earlier write (the same process number) may have been 0644.
  written = written && ::fchmod(fd, 0600) == 0;
  written = ::close(fd) == 0 && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace pelmora::engine::state_folder
