#include "platform/system/command_power.h"

#include "platform/system/spawn_launcher.h"

namespace pelmora::platform {

CommandPower::CommandPower(std::string command) : command_(std::move(command)) {}

std::string CommandPower::default_command() {
  return "busctl call org.freedesktop.login1 /org/freedesktop/login1 "
         "org.freedesktop.login1.Manager PowerOff b true";
}

bool CommandPower::shutdown() {
  return spawn_detached(split_command(command_));
}

std::vector<std::string> split_command(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

}  // namespace pelmora::platform
