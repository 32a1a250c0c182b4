// What the window does when a change of the history lists or the settings cannot be written: a
// full disk or a read-only program folder. The files on disk stay whole; a list change waits in
// the window's backlog and is written as soon as it can be, a setting keeps its old value.
#include <cstdio>

#include "app/main_window.h"

namespace pelmora::app {

namespace {

constexpr std::string_view kNotSaved = "磁盘已满或目录不可写，播放记录暂时无法保存";
constexpr std::string_view kSavedAgain = "播放记录已保存";
constexpr std::string_view kSettingsNotSaved = "磁盘已满或目录不可写，设置暂时无法保存";

}  // namespace

void BA1::list_not_saved() {
  if (!save_retry.on_timer) {
    save_retry.on_timer = [this] { list_backlog.retry(list_place()); };
  }
  if (!list_backlog.empty()) save_retry.set_timer_enabled(true);
  // Once until the lists are saved again, however many changes wait.
  if (told_not_saved_) return;
  told_not_saved_ = true;
  // The status line changes with the next state of the player: the balloon stays a while. It is
  // shown even where tips are switched off, since it tells of something lost otherwise.
  show_status(std::string(kNotSaved));
  balloon(std::string(kNotSaved));
}

void BA1::lists_saved() {
  save_retry.set_timer_enabled(false);
  if (!told_not_saved_) return;
  told_not_saved_ = false;
  show_status(std::string(kSavedAgain));
}

void BA1::settings_written(bool saved) {
  if (saved) {
    told_settings_not_saved_ = false;
    return;
  }
  // Once for a run of writes that fail (the settings dialog writes eight keys at a time).
  if (told_settings_not_saved_) return;
  told_settings_not_saved_ = true;
  show_status(std::string(kSettingsNotSaved));
  balloon(std::string(kSettingsNotSaved));
  // What the window writes as it closes is told where it is still read.
  std::fprintf(stderr, "pelmora: %s (%s)\n", kSettingsNotSaved.data(),
               settings_store.path().c_str());
}

}  // namespace pelmora::app
