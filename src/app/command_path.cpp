#include "app/command_path.h"

#include <filesystem>

namespace pelmora::app {

std::string absolute_command_line(std::string_view command_line, std::string_view working_folder) {
  std::string path;
  for (const char c : command_line) {
    if (c != '"') path += c;
  }
  const bool address = path.find("://") != std::string::npos;
  if (path.empty() || address || path.front() == '/' || path.front() == '~' ||
      working_folder.empty() || working_folder.front() != '/') {
    return std::string(command_line);
  }
  std::filesystem::path absolute =
      (std::filesystem::path(working_folder) / path).lexically_normal();
  std::string text = absolute.string();
  // "dir/" stays "dir/" after normalising; a path that named the folder itself keeps no "/".
  if (text.size() > 1 && text.back() == '/' && path.back() != '/') text.pop_back();
  return text;
}

std::string absolute_command_line(std::string_view command_line) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) return std::string(command_line);
  return absolute_command_line(command_line, folder.string());
}

}  // namespace pelmora::app
