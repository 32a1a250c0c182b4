#include "engine_client/engine_files.h"

#include <cstdlib>

#include "app/settings_store.h"
#include "engine_client/engine_program.h"
#include "platform/files.h"
#include "platform/launcher.h"
#include "platform/process_table.h"
#include "util/text_helpers.h"

namespace pelmora::playback::engine {

namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

// A folder setting that was never written reads "0".
bool folder_known(std::string_view folder) {
  return !folder.empty() && folder != "0";
}

std::string replace_all(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  std::size_t start = 0;
  for (std::size_t hit = text.find(from); hit != std::string_view::npos;
       hit = text.find(from, start)) {
    out.append(text.substr(start, hit - start));
    out.append(to);
    start = hit + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

bool end_process(platform::ProcessTable& processes, std::string_view name) {
  const int pid = platform::find_process(processes, name);
  if (pid == 0) return false;
  return processes.terminate(pid);
}

std::string terminate_all(platform::ProcessTable& processes, std::string_view name) {
  std::string last_path;
  for (const platform::ProcessInfo& process : processes.list()) {
    if (!same_name(process.exe_name, name)) continue;
    last_path = process.exe_path;
    processes.terminate(process.pid);
  }
  return last_path;
}

std::string running_path(platform::ProcessTable& processes, std::string_view name) {
  std::string path;
  for (const platform::ProcessInfo& process : processes.list()) {
    if (same_name(process.exe_name, name)) path = process.exe_path;
  }
  return path;
}

void sweep_tray() {}

std::string remove_all(std::string_view text, std::string_view what) {
  if (what.empty()) return std::string(text);
  return replace_all(text, what, "");
}

std::optional<std::string> read_settings_text(std::string_view player_folder) {
  if (!folder_known(player_folder)) return std::nullopt;
  const std::optional<std::string> content =
      platform::files::read(platform::files::join(player_folder, kSettingsFile));
  if (!content) return std::nullopt;
  std::string text;
  std::size_t start = 0;
  while (start < content->size()) {
    std::size_t end = content->find('\n', start);
    if (end == std::string::npos) end = content->size();
    std::string_view line(content->data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text.append(line);
    text.append("\r\n");
    start = end + 1;
  }
  return text;
}

std::string save_folder_in(std::string_view settings_text) {
  std::size_t start = 0;
  while (start < settings_text.size()) {
    std::size_t end = settings_text.find('\n', start);
    if (end == std::string_view::npos) end = settings_text.size();
    const std::string_view line = settings_text.substr(start, end - start);
    if (line.find(kSaveKey) != std::string_view::npos) {
      return text::text_between(line, kSaveMarker, "\"", text::Between::kInside);
    }
    start = end + 1;
  }
  return {};
}

std::string default_save_folder() {
  const char* home = std::getenv("HOME");
  return platform::files::join(home != nullptr ? home : "", "Media/");
}

std::string save_folder(std::string_view player_folder) {
  const std::optional<std::string> text = read_settings_text(player_folder);
  if (!text) return default_save_folder();
  return save_folder_in(*text);
}

bool write_save_folder(const std::string& engine_folder, std::string_view settings_text,
                       std::string_view old_folder, std::string_view new_folder,
                       platform::Launcher& launcher,
                       const std::vector<std::string>& terminal_args) {
  if (new_folder.find_first_of("\"\r\n") != std::string_view::npos) return false;
  const std::string& folder = engine_folder;
  if (!folder_known(folder)) return false;
  const std::string quote = "\"";
  std::string text =
      replace_all(settings_text, std::string(kSaveMarker) + std::string(old_folder) + quote,
                  std::string(kSaveMarker) + std::string(new_folder) + quote);
  text += "\r\n";
  const bool written =
      platform::files::write_atomic(platform::files::join(folder, kSettingsFile), text);
  launcher.start_program(platform::files::join(folder, kTerminalProgram), terminal_args);
  return written;
}

std::vector<std::string> terminal_arguments(long long end_engine, const std::string& service_url) {
  std::vector<std::string> args{
      "--end-with", end_engine == 2 ? platform::engine_program::own_identity() : "none"};
  if (!service_url.empty()) {
    args.emplace_back("--service");
    args.push_back(service_url);
  }
  return args;
}

std::string player_folder_of(std::string_view program_folder) {
  return platform::files::join(program_folder, "Qvod/");
}

std::string default_settings_text() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<QvodPlayer>\r\n<Download " +
         std::string(kSaveMarker) + default_save_folder() + "\"/>\r\n</QvodPlayer>\r\n";
}

bool prepare_player_folder(settings::Store& settings, const std::string& player_folder,
                           const std::string& terminal_program) {
  if (!platform::files::make_directories(player_folder)) return false;
  const bool has_terminal =
      platform::engine_program::link_terminal(player_folder, terminal_program);
  const std::string settings_file = platform::files::join(player_folder, kSettingsFile);
  if (!platform::files::exists(settings_file)) {
    platform::files::write_atomic(settings_file, default_settings_text());
  }
  if (!has_terminal) return false;
  const std::string known = settings.get().player_folder;
  const bool known_works = folder_known(known) &&
                           platform::files::exists(platform::files::join(known, kTerminalProgram));
  if (!known_works) settings.write_option(settings::keys::kPlayerFolder, player_folder);
  return true;
}

}  // namespace pelmora::playback::engine
