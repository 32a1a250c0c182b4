#include "app/startup.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "app/configuration.h"
#include "app/machine_id.h"
#include "app/settings_store.h"
#include "lists/list_pages.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/launcher.h"
#include "platform/player_control.h"

namespace pelmora::app {

namespace {

// How start-up repairs a key that breaks its rule.
enum class Repair {
  kNone,
  kIdentifier,    // "0" or empty: a fresh machine identifier
  kExactVersion,  // anything but exactly the default: the default
  kOneOrTwo,      // a number other than 1 or 2 (or no number): the default
  kWhenZero,      // 0 or not a number: the default
};

struct KeyRule {
  std::string_view section;
  std::string_view key;
  std::string_view first_run;  // empty for the identifier, which is made at start
  Repair repair;
};

// Every key start-up writes on the first run, in the order it writes them, with the rule it
// repairs by on every start (in the same order). "qvodw" is learned later and not listed.
namespace keys = settings::keys;
// The switches come from settings::kSwitches, each on at first; the saved window size follows
// its switch.
constexpr auto kKeyTable = [] {
  std::array<KeyRule, 6 + settings::kSwitches.size()> table{};
  std::size_t at = 0;
  table[at++] = {keys::kMain, keys::kName, "Pelmora", Repair::kNone};
  table[at++] = {keys::kUser, keys::kName, "", Repair::kIdentifier};
  table[at++] = {keys::kVersion, keys::kName, "3.0", Repair::kExactVersion};
  table[at++] = {keys::kOptions, keys::kCloseAsked, "3", Repair::kOneOrTwo};
  for (const settings::Switch& entry : settings::kSwitches) {
    table[at++] = {keys::kOptions, entry.key, "2", Repair::kWhenZero};
    if (entry.key == keys::kRestoreSize) {
      table[at++] = {keys::kOptions, keys::kWidth, "13590", Repair::kWhenZero};
      table[at++] = {keys::kOptions, keys::kHeight, "8790", Repair::kWhenZero};
    }
  }
  return table;
}();
static_assert(std::ranges::none_of(kKeyTable, [](const KeyRule& rule) { return rule.key.empty(); }),
              "every row of the start-up table is filled");

bool breaks_rule(Repair repair, const std::string& value, std::string_view first_run) {
  switch (repair) {
    case Repair::kNone:
      return false;
    case Repair::kIdentifier:
      return value == "0" || value.empty();
    case Repair::kExactVersion:
      return value != first_run;
    case Repair::kOneOrTwo: {
      const long long number = settings::as_number(value);
      return number != 1 && number != 2;
    }
    case Repair::kWhenZero:
      return settings::as_number(value) == 0;
  }
  return false;
}

// Shows a list page in the main window, loading the window first when this is the first page
// shown: the window's initialisation runs at that moment, as it always has.
class LoadingPageView final : public lists::ListPageView {
 public:
  explicit LoadingPageView(MainWindowHost& window) : window_(window) {}
  void show_list_page(std::string_view list_file, const std::string& page_path) override {
    if (!window_.loaded()) window_.load();
    window_.show_list_page(list_file, page_path);
  }

 private:
  MainWindowHost& window_;
};

// The files the program keeps in its folder, and the folders of the player and of the pages'
// storage.
const std::vector<std::string> kProgramFiles = {
    std::string(settings::kFileName),
    std::string(lists::kNetworkList),
    std::string(lists::kLocalList),
    std::string(lists::kNetworkPage),
    std::string(lists::kLocalPage),
    std::string(kConfigurationFile),
    std::string(lists::kPageIconFile),
    "Qvod",
    "web",
};

// The program folder holds what the user played: the folder and the program's files in it are
// the user's alone, whatever an older version or an unpacked copy left them as. A folder where
// nothing can be written is used as it is, and the user is told that changes are not kept.
void secure_program_folder(const std::string& folder) {
  if (const int changed = platform::files::make_private(folder, kProgramFiles); changed > 0) {
    std::fprintf(stderr,
                 "pelmora: %d of the program's folder and files in %s could be read by other "
                 "users; they are now the user's alone\n",
                 changed, folder.c_str());
  }
  if (!platform::files::is_writable_directory(folder)) {
    std::fprintf(stderr,
                 "pelmora: the program folder %s is read-only: settings and lists are read from "
                 "it, but changes cannot be saved there\n",
                 folder.c_str());
  }
}

constexpr std::string_view kNoPlayerQuestion =
    "程序检测到您的电脑未安装快播(Qvod)播放器，是否要下载Qvod播放器？";

}  // namespace

void prepare_settings(const std::string& program_folder, platform::NetworkAdapters& adapters,
                      const platform::Clock& clock) {
  const std::string path = settings::settings_path(program_folder);
  settings::SettingsFile file(path);
  const auto identifier = [&] { return mac::machine_identifier(adapters, clock); };

  if (!platform::files::exists(path)) {
    for (const KeyRule& rule : kKeyTable) {
      file.write(rule.section, rule.key,
                 rule.repair == Repair::kIdentifier ? identifier() : std::string(rule.first_run));
    }
  }
  for (const KeyRule& rule : kKeyTable) {
    const std::string value = file.read(rule.section, rule.key);
    if (!breaks_rule(rule.repair, value, rule.first_run)) continue;
    file.write(rule.section, rule.key,
               rule.repair == Repair::kIdentifier ? identifier() : std::string(rule.first_run));
  }
  file.save();
}

StartupResult Main(const StartupContext& context) {
  const std::string& folder = context.program_folder;

  // The player check. Without an engine, a component beside the program is registered (which
  // Linux does not need), or the user is asked whether to download the player.
  if (!context.player_engine.available()) {
    const std::string component = platform::files::join(folder, "Qvod/QvodInsert.dll");
    if (platform::files::exists(component)) {
      context.launcher.register_component(component);
    } else {
      const auto answer = context.dialogs.message_box("提示：", std::string(kNoPlayerQuestion),
                                                      platform::MessageButtons::kYesNo,
                                                      platform::MessageIcon::kQuestion);
      if (answer == platform::Answer::kYes) {
        context.launcher.open_address(context.config.player_download_page);
      }
      return StartupResult::kEndedWithoutPlayer;
    }
  }

  secure_program_folder(folder);

  // What a killed run left half done: its temporary files go, and both pages are rendered anew
  // from the lists (a run may have ended between writing a list and its page).
  platform::files::remove_orphan_temporaries(folder);
  prepare_settings(folder, context.adapters, context.clock);

  lists::ensure_list(folder, lists::kNetworkList);
  lists::ensure_list(folder, lists::kLocalList);
  lists::ensure_page_icon(folder);

  LoadingPageView view(context.main_window);
  const lists::ListPlace place{folder, &view};
  lists::render_list(place, lists::kNetworkList);
  lists::render_list(place, lists::kLocalList);

  if (!context.main_window.loaded()) context.main_window.load();
  context.main_window.show();
  return StartupResult::kMainWindowShown;
}

}  // namespace pelmora::app
