#include "support/media_clip.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <vector>

extern char** environ;

namespace pelmora::testing {
namespace {

// Runs a program found on PATH with its output discarded; its exit code, or -1 when it could
// not be started.
int run_quietly(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool make_test_clip(const std::string& path, int seconds, std::string* why) {
  const std::string length = std::to_string(seconds);
  if (run_quietly({"ffmpeg", "-version"}) != 0) {
    if (why != nullptr) *why = "ffmpeg is not installed (the test command's media group)";
    return false;
  }
  const int code = run_quietly({"ffmpeg",
                                "-nostdin",
                                "-y",
                                "-loglevel",
                                "error",
                                "-f",
                                "lavfi",
                                "-i",
                                "testsrc=size=320x240:rate=25:duration=" + length,
                                "-f",
                                "lavfi",
                                "-i",
                                "sine=frequency=440:duration=" + length,
                                "-c:v",
                                "mpeg4",
                                "-q:v",
                                "5",
                                "-c:a",
                                "mp2",
                                "-b:a",
                                "128k",
                                "-shortest",
                                path});
  struct stat info {};
  if (code != 0 || stat(path.c_str(), &info) != 0 || info.st_size == 0) {
    if (why != nullptr)
      *why = "ffmpeg could not make the test clip (exit code " + std::to_string(code) + ")";
    return false;
  }
  return true;
}

bool make_subtitle_only_file(const std::string& path, std::string* why) {
  const std::string subtitles = path + ".srt";
  {
    std::ofstream out(subtitles);
    out << "1\n00:00:00,000 --> 00:00:01,000\nhello\n";
  }
  const int code = run_quietly(
      {"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-i", subtitles, "-f", "matroska", path});
  unlink(subtitles.c_str());
  struct stat info {};
  if (code != 0 || stat(path.c_str(), &info) != 0 || info.st_size == 0) {
    if (why != nullptr)
      *why = "ffmpeg could not make the file (exit code " + std::to_string(code) + ")";
    return false;
  }
  return true;
}

}  // namespace pelmora::testing
