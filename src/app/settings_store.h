#pragma once

#include <string>
#include <string_view>

// The settings file "config.dll" in the program folder. There is no settings object and no
// cache: every reader asks at the moment it needs a value, so a change written anywhere takes
// effect at the next read.
namespace pelmora::settings {

inline constexpr std::string_view kFileName = "config.dll";

// The settings file of a program folder.
std::string settings_path(std::string_view program_folder);

// A key's value: `fallback` ("0" everywhere in the program) when the file, the section or the
// key is missing; the empty text when the key is present with no value; otherwise the value,
// cut to 254 characters. Section and key names match without regard to case.
std::string read_ini(const std::string& file, std::string_view section, std::string_view key,
                     std::string_view fallback = "0");

// Sets a key, creating the file and the section as needed. The file is rewritten whole through
// a temporary file, so a crash never leaves half a settings file. A write that cannot be made
// (read-only folder, a value with a line break) leaves the value as it was; callers ignore the
// result, as they always have.
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

// The whole-number reading of a value, as start-up and the switches use it: a value that is not
// a number reads as 0.
long long as_number(std::string_view value);

}  // namespace pelmora::settings
