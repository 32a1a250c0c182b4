#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace pelmora::headless {

// Dialogs answered from a script: each call takes the next scripted answer (or the default) and
// is recorded with its title and text, so a test asserts what the user was asked.
class ScriptedDialogs final : public platform::Dialogs {
 public:
  enum class Kind { kMessage, kOpenFile, kBrowseFolder };
  struct Shown {
    Kind kind;
    std::string title;
    std::string text;  // the message, the open-file filter, or the folder browser's start
    platform::MessageButtons buttons = platform::MessageButtons::kOk;
    platform::MessageIcon icon = platform::MessageIcon::kNone;
  };

  void answer_next(platform::Answer answer) { answers_.push_back(answer); }
  // Without a scripted answer a question is answered No and a notice OK.
  void choose_next_file(std::optional<std::string> path) { files_.push_back(std::move(path)); }
  void choose_next_folder(std::optional<std::string> folder) {
    folders_.push_back(std::move(folder));
  }

  const std::vector<Shown>& shown() const { return shown_; }
  const Shown* last() const { return shown_.empty() ? nullptr : &shown_.back(); }
  void clear() { shown_.clear(); }

  platform::Answer message_box(const std::string& title, const std::string& text,
                               platform::MessageButtons buttons,
                               platform::MessageIcon icon) override;
  std::optional<std::string> open_file(const std::string& title,
                                       const std::string& filter) override;
  std::optional<std::string> browse_folder(const std::string& title,
                                           const std::string& start_folder) override;

 private:
  std::deque<platform::Answer> answers_;
  std::deque<std::optional<std::string>> files_;
  std::deque<std::optional<std::string>> folders_;
  std::vector<Shown> shown_;
};

}  // namespace pelmora::headless
