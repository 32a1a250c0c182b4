#pragma once

#include <optional>
#include <string>

namespace pelmora::platform {

enum class MessageButtons { kOk, kYesNo };
enum class MessageIcon { kNone, kInformation, kQuestion, kWarning };
enum class Answer { kOk, kYes, kNo, kCancel };

// Modal dialogs a person answers. Each call blocks until the dialog closes and may re-enter the
// program through events that run meanwhile (timers keep ticking).
class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A message box; Enter takes its default button (Yes on a question). A question dismissed
  // without an answer (Escape, or its own close) gives kCancel.
  virtual Answer message_box(const std::string& title, const std::string& text,
                             MessageButtons buttons, MessageIcon icon) = 0;
  // The open-file dialog: the chosen file's path, or nothing when cancelled. `filter` is a
  // description such as "媒体文件|*.rmvb;*.mp4|所有文件|*.*".
  virtual std::optional<std::string> open_file(const std::string& title,
                                               const std::string& filter) = 0;
  // The folder browser, opened at `start_folder` when it exists: the chosen folder, or nothing
  // when cancelled.
  virtual std::optional<std::string> browse_folder(const std::string& title,
                                                   const std::string& start_folder) = 0;
};

}  // namespace pelmora::platform
