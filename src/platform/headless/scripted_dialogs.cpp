#include "platform/headless/scripted_dialogs.h"

namespace pelmora::headless {

using platform::Answer;
using platform::MessageButtons;

Answer ScriptedDialogs::message_box(const std::string& title, const std::string& text,
                                    MessageButtons buttons, platform::MessageIcon icon) {
  shown_.push_back(Shown{Kind::kMessage, title, text, buttons, icon});
  if (!answers_.empty()) {
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return buttons == MessageButtons::kYesNo ? Answer::kNo : Answer::kOk;
}

std::optional<std::string> ScriptedDialogs::open_file(const std::string& title,
                                                      const std::string& filter) {
  shown_.push_back(Shown{Kind::kOpenFile, title, filter});
  if (files_.empty()) return std::nullopt;
  auto file = files_.front();
  files_.pop_front();
  return file;
}

std::optional<std::string> ScriptedDialogs::browse_folder(const std::string& title,
                                                          const std::string& start_folder) {
  shown_.push_back(Shown{Kind::kBrowseFolder, title, start_folder});
  if (folders_.empty()) return std::nullopt;
  auto folder = folders_.front();
  folders_.pop_front();
  return folder;
}

}  // namespace pelmora::headless
