#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"

// The settings file "config.dll" in the program folder, and the settings it holds as one typed
// value. The file is the truth: the value is read once and read again only when the file changed
// (a window of this program or another program wrote it), so a change written anywhere takes
// effect at the next read.
namespace pelmora::settings {

inline constexpr std::string_view kFileName = "config.dll";

// The sections and keys of the file.
namespace keys {
inline constexpr std::string_view kMain = "main";
inline constexpr std::string_view kUser = "User";
inline constexpr std::string_view kVersion = "Ver";
inline constexpr std::string_view kName = "Name";
inline constexpr std::string_view kOptions = "S_q";
inline constexpr std::string_view kCloseAsked = "ts";
inline constexpr std::string_view kCloseQuits = "quit";
inline constexpr std::string_view kEndEngine = "qvodk";
inline constexpr std::string_view kRestoreSize = "s_size";
inline constexpr std::string_view kWidth = "h_w";
inline constexpr std::string_view kHeight = "h_h";
inline constexpr std::string_view kBufferNext = "s_h";
inline constexpr std::string_view kAutoplay = "s_bo";
inline constexpr std::string_view kRecordProgress = "s_jd";
inline constexpr std::string_view kLeaveEngine = "qvodqi";
inline constexpr std::string_view kBalloons = "s_pao";
inline constexpr std::string_view kPlayerFolder = "qvodw";
// What the user left the player and the window at, kept across starts: the volume in percent,
// the mute switch, and the window's left and top edge in twips.
inline constexpr std::string_view kVolume = "vol";
inline constexpr std::string_view kMute = "mute";
inline constexpr std::string_view kLeft = "h_x";
inline constexpr std::string_view kTop = "h_y";
}  // namespace keys

// The switches of section "S_q" that the settings dialog shows, written once: the key, the
// dialog's check box and its caption, in the order start-up writes them and the dialog applies
// them. A switch holds 2 for on and 1 for off; start-up writes 2 on the first run and wherever
// the value is 0 or no number.
struct Switch {
  std::string_view key;
  int box;
  std::string_view caption;
};
inline constexpr std::array<Switch, 8> kSwitches{{
    {keys::kCloseQuits, 5, "关闭软件最小化到托盘"},
    {keys::kEndEngine, 6, "关闭软件同时关闭快播(Qvod)"},
    {keys::kRestoreSize, 0, "保存软件界面大小"},
    {keys::kBufferNext, 1, "自动缓冲下一集"},
    {keys::kAutoplay, 2, "自动播放下一集"},
    {keys::kRecordProgress, 3, "记录影片播放进度"},
    {keys::kLeaveEngine, 7, "启动软件不启动快播(Qvod)"},
    {keys::kBalloons, 8, "托盘显示气泡提示"},
}};

// Every setting the program reads, as the file held it when it was read. Switches hold 2 for
// on and 1 for off; a missing key reads as 0 (a number) or "0" (a text).
struct Settings {
  std::string user_id = "0";        // [User] Name
  std::string version = "0";        // [Ver] Name
  long long close_asked = 0;        // ts: 3 until the close question was asked
  long long close_quits = 0;        // quit: 1 ends the program on close, else to the tray
  long long end_engine = 0;         // qvodk: 2 ends the engine's programs with this one
  long long restore_size = 0;       // s_size: 2 opens the window at the saved size
  long long width_twips = 0;        // h_w
  long long height_twips = 0;       // h_h
  long long buffer_next = 0;        // s_h: 2 buffers the next episode ahead
  std::string autoplay = "0";       // s_bo: exactly "2" plays the next episode by itself
  long long record_progress = 0;    // s_jd
  long long leave_engine = 0;       // qvodqi: 1 leaves the engine's programs alone at start
  long long balloons = 0;           // s_pao: 2 shows balloon tips
  std::string player_folder = "0";  // qvodw: the engine's folder, "0" when not known
  // Kept across starts; absent until first written (or when the value is not a number).
  std::optional<long long> volume;      // vol: percent
  long long mute = 0;                   // mute: 2 starts muted
  std::optional<long long> left_twips;  // h_x
  std::optional<long long> top_twips;   // h_y

  bool autoplays() const { return autoplay == "2"; }
  bool buffers_next() const { return buffer_next == 2; }
  bool shows_balloons() const { return balloons == 2; }
  // The close question is still to be asked; closing ends the program (else: to the tray).
  bool asks_on_close() const { return close_asked == 3; }
  bool close_quits_program() const { return close_quits == 1; }
  bool ends_engine_with_program() const { return end_engine == 2; }
  bool restores_size() const { return restore_size == 2; }
  bool leaves_engine_at_start() const { return leave_engine == 1; }
  bool starts_muted() const { return mute == 2; }
  // The number a switch of the S_q section holds, by its key (the settings dialog's table).
  long long switch_value(std::string_view key) const;
};

// The settings file of a program folder.
std::string settings_path(std::string_view program_folder);

// A key's value: `fallback` ("0" everywhere in the program) when the file, the section or the
// key is missing; the empty text when the key is present with no value; otherwise the value,
// cut to 254 characters. Section and key names match without regard to case.
std::string read_ini(const std::string& file, std::string_view section, std::string_view key,
                     std::string_view fallback = "0");

// Sets a key, creating the file and the section as needed. The file is rewritten whole through
// a temporary file, so a crash never leaves half a settings file. A write that cannot be made
// (read-only folder, full disk, a value with a line break) leaves the file as it was and answers
// false.
bool write_ini(const std::string& file, std::string_view section, std::string_view key,
               std::string_view value);

// One settings file held in memory for a run of reads and writes that belong together (start-up
// reads and repairs a dozen keys): it reads as read_ini does and, on save, writes the same text
// that the same writes through write_ini would leave, in one replacement of the file.
class SettingsFile {
 public:
  explicit SettingsFile(std::string path);
  std::string read(std::string_view section, std::string_view key,
                   std::string_view fallback = "0") const;
  bool write(std::string_view section, std::string_view key, std::string_view value);
  // Replaces the file when a write changed it. False when that failed.
  bool save();

 private:
  std::string path_;
  std::string text_;
  bool readable_ = true;  // an existing file that cannot be read is never replaced
  bool changed_ = false;
};

// The settings of one file, read when first asked and again whenever the file has changed
// since; writes go through to the file at once, with the same text as write_ini.
class Store {
 public:
  explicit Store(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  const Settings& get();
  // Writes one key (write_ini); false when the file could not be written. The observer hears
  // the outcome of every write that reached the disk (not of a key or value that cannot be
  // written at all), so the window can tell the user that settings are not being saved.
  bool write(std::string_view section, std::string_view key, std::string_view value);
  void on_written(std::function<void(bool saved)> observer) { observer_ = std::move(observer); }
  bool write_option(std::string_view key, std::string_view value) {
    return write(keys::kOptions, key, value);
  }

 private:
  std::string path_;
  Settings settings_;
  platform::files::Stamp stamp_;
  bool loaded_ = false;
  std::function<void(bool saved)> observer_;
};

// The whole-number reading of a value, as start-up and the switches use it: a value that is not
// a number reads as 0.
long long as_number(std::string_view value);

}  // namespace pelmora::settings
