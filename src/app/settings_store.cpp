#include "app/settings_store.h"

#include "app/ini_text.h"
#include "platform/files.h"
#include "util/text_helpers.h"
#include "util/utf16.h"

namespace pelmora::settings {

namespace {
// The reader's buffer holds 255 characters with the terminating NUL.
constexpr std::size_t kMaxValueLength = 254;
}  // namespace

std::string settings_path(std::string_view program_folder) {
  return platform::files::join(program_folder, kFileName);
}

namespace {

// The value as the reader's 255-character buffer returns it.
std::string cut_value(std::string value) {
  // A NUL ends the value, as it ends the reader's buffer.
  if (const auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  std::u16string units = text::to_utf16(value);
  if (units.size() <= kMaxValueLength) return value;
  units.resize(kMaxValueLength);
  // Never end on half of a surrogate pair.
  if (units.back() >= 0xD800 && units.back() <= 0xDBFF) units.pop_back();
  return text::to_utf8(units);
}

bool writable_entry(std::string_view section, std::string_view key, std::string_view value) {
  // A line break would split the entry and corrupt the file; a NUL would cut it.
  for (std::string_view part : {section, key, value}) {
    if (part.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  }
  return !key.empty() && key.find('=') == std::string_view::npos && !section.empty() &&
         section.find(']') == std::string_view::npos;
}

}  // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {
  if (auto text = platform::files::read(path_)) {
    text_ = std::move(*text);
  } else {
    readable_ = !platform::files::exists(path_);
  }
}

std::string SettingsFile::read(std::string_view section, std::string_view key,
                               std::string_view fallback) const {
  auto found = ini::find_value(text_, section, key);
  return cut_value(found ? std::move(*found) : std::string(fallback));
}

bool SettingsFile::write(std::string_view section, std::string_view key, std::string_view value) {
  if (!readable_ || !writable_entry(section, key, value)) return false;
  text_ = ini::with_value(text_, section, key, value);
  changed_ = true;
  return true;
}

bool SettingsFile::save() {
  if (!changed_) return true;
  if (!platform::files::write_atomic(path_, text_)) return false;
  changed_ = false;
  return true;
}

std::string read_ini(const std::string& file, std::string_view section, std::string_view key,
                     std::string_view fallback) {
  return SettingsFile(file).read(section, key, fallback);
}

bool write_ini(const std::string& file, std::string_view section, std::string_view key,
               std::string_view value) {
  SettingsFile settings(file);
  return settings.write(section, key, value) && settings.save();
}

long long Settings::switch_value(std::string_view key) const {
  const std::pair<std::string_view, long long> values[] = {
      {keys::kCloseQuits, close_quits},       {keys::kEndEngine, end_engine},
      {keys::kRestoreSize, restore_size},     {keys::kBufferNext, buffer_next},
      {keys::kAutoplay, as_number(autoplay)}, {keys::kRecordProgress, record_progress},
      {keys::kLeaveEngine, leave_engine},     {keys::kBalloons, balloons},
      {keys::kCloseAsked, close_asked},
  };
  for (const auto& [name, value] : values) {
    if (ini::same_name(name, key)) return value;
  }
  return 0;
}

const Settings& Store::get() {
  const platform::files::Stamp now = platform::files::stamp(path_);
  if (loaded_ && now == stamp_) return settings_;
  const SettingsFile file(path_);
  const auto option = [&file](std::string_view key) { return file.read(keys::kOptions, key); };
  const auto number = [&option](std::string_view key) { return as_number(option(key)); };
  Settings read;
  read.user_id = file.read("user", keys::kName);
  read.version = file.read("ver", keys::kName);
  read.close_asked = number(keys::kCloseAsked);
  read.close_quits = number(keys::kCloseQuits);
  read.end_engine = number(keys::kEndEngine);
  read.restore_size = number(keys::kRestoreSize);
  read.width_twips = number(keys::kWidth);
  read.height_twips = number(keys::kHeight);
  read.buffer_next = number(keys::kBufferNext);
  read.autoplay = option(keys::kAutoplay);
  read.record_progress = number(keys::kRecordProgress);
  read.leave_engine = number(keys::kLeaveEngine);
  read.balloons = number(keys::kBalloons);
  read.player_folder = option(keys::kPlayerFolder);
  // A key that is absent (or holds no number) is not a remembered value: 0 is a volume.
  const auto remembered = [&file](std::string_view key) -> std::optional<long long> {
    std::int64_t value = 0;
    if (!text::parse_whole(file.read(keys::kOptions, key, ""), value)) return std::nullopt;
    return value;
  };
  read.volume = remembered(keys::kVolume);
  read.mute = number(keys::kMute);
  read.left_twips = remembered(keys::kLeft);
  read.top_twips = remembered(keys::kTop);
  settings_ = std::move(read);
  stamp_ = now;
  loaded_ = true;
  return settings_;
}

bool Store::write(std::string_view section, std::string_view key, std::string_view value) {
  // The next read sees the file's new stamp and takes the value from the file as written.
  SettingsFile file(path_);
  if (!file.write(section, key, value)) return false;
  const bool saved = file.save();
  if (observer_) observer_(saved);
  return saved;
}

long long as_number(std::string_view value) {
  std::int64_t number = 0;
  return text::parse_whole(value, number) ? number : 0;
}

}  // namespace pelmora::settings
