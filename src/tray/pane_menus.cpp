// The popup menus of the tips form that the main window opens over its panes: the catalogue's
// context menu, the list panes' entry menu and the side panel's list label with its task menu,
// and the handlers of their items.
#include "app/main_window.h"
#include "app/settings_store.h"
#include "lists/download_match.h"
#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/launcher.h"
#include "playback/engine_files.h"
#include "tray/tips_form.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"

namespace pelmora::app {

namespace {

namespace engine = playback::engine;

constexpr platform::Color kPressedGrey = 5921370;  // 5A5A5A

std::string without(std::string_view text, std::string_view what) {
  return engine::remove_all(text, what);
}

}  // namespace

void BA1::wire_list_actions() {
  qk.set_caption("∴ 管理任务");
  chrome.list_on_view = ListOnView::kNetwork;
  qk.on_click = [this] { qk_Click(); };
}

void BA1::read_player_dir() {
  if (!player_dir.empty()) return;
  // A missing key reads "0", which names no folder.
  player_dir = settings_store.get().player_folder;
  if (player_dir == "0") player_dir.clear();
}

void BA1::qk_Click() {
  qk.set_fore_color(kPressedGrey);
  if (chrome.list_on_view == ListOnView::kLocal) {
    const auto answer = services_.dialogs.message_box("提示：", "确定要删除全部[本地播放]列表吗？",
                                                      platform::MessageButtons::kYesNo,
                                                      platform::MessageIcon::kQuestion);
    if (answer == platform::Answer::kYes) lists::clear_list(list_place(), lists::kLocalList);
    return;
  }
  popup_menu(tip_form().c_fie);
}

void BA1::qk_xl() {
  if (chrome.list_on_view == ListOnView::kLocal) return;
  const auto answer = services_.dialogs.message_box("提示：", "确定要删除全部[网络任务]列表吗？",
                                                    platform::MessageButtons::kYesNo,
                                                    platform::MessageIcon::kQuestion);
  if (answer != platform::Answer::kYes) return;
  lists::clear_list(list_place(), lists::kNetworkList);
  if (!plays_network_item()) Web5.refresh();
}

void BA1::qk_xw() {
  read_player_dir();
  const std::string folder = engine::save_folder(player_dir);
  std::vector<std::string> names;
  if (!platform::files::list_folder(folder, "*.*", names))
    return;  // empty or missing: nothing to show
  // A window kept on top would cover the file manager: take it off the top first.
  if (chrome.pinned) npc_Click(4);
  services_.launcher.open_folder(folder);
}

void BA1::show_catalogue_menu() {
  popup_menu(tip_form().myMenu);
}

bool BA1::M_M1_oncontextmenu(const std::string&) {
  show_catalogue_menu();
  return false;
}

bool BA1::M_M3_oncontextmenu(const std::string& href) {
  if (href.find("open://") == std::string::npos) return false;
  chrome.list_link = href;
  popup_menu(tip_form().webc);
  return false;
}

bool BA1::M_M5_oncontextmenu(const std::string& href) {
  return M_M3_oncontextmenu(href);
}

void BA1::CCC() {
  if (chrome.list_link.find("//") == std::string::npos) return;
  // The row's own link, as a click on it would give it.
  open_list_entry("open://" + without(chrome.list_link, "open://"));
}

void BA1::ddd() {
  if (chrome.list_link.find("//") == std::string::npos) return;
  delete_list_entry("delk://" + without(chrome.list_link, "open://"));
}

void BA1::eee() {
  if (chrome.list_link.find("//") == std::string::npos) return;
  std::string line_number = without(without(chrome.list_link, "open://"), "delk://");
  if (line_number.ends_with('/')) line_number.pop_back();

  // A row of the program's own page names its record's check after the number ("3-5f0a12c4").
  std::string check;
  if (const auto dash = line_number.find('-'); dash != std::string::npos && dash > 0) {
    check = line_number.substr(dash + 1);
  }
  lists::DownloadMatch match;
  std::int64_t wanted = 0;
  if (const auto list = platform::files::read(program_file(lists::kNetworkList));
      list && text::parse_whole(line_number.substr(0, line_number.find('-')), wanted) &&
      wanted > 0) {
    const auto lines = text::split_lines(*list);
    if (static_cast<std::uint64_t>(wanted) <= lines.size()) {
      const std::string_view record = lines[static_cast<std::size_t>(wanted - 1)];
      // A row left from an older page: that line holds another record now, whose files are
      // not deleted; the page is rendered anew instead.
      if (!check.empty() &&
          (!lists::detail::is_record(record) || lists::detail::row_check(record) != check)) {
        lists::render_list(list_place(), lists::kNetworkList);
        return;
      }
      const auto fields = lists::detail::split_fields(record);
      if (fields.size() > 3) match = lists::download_match(text::url_unescape(fields[3]));
    }
  }

  if (!match.stem.empty()) {
    read_player_dir();
    const bool has_engine_settings =
        !player_dir.empty() &&
        platform::files::exists(platform::files::join(player_dir, engine::kSettingsFile));
    std::vector<std::string> names;
    const std::string folder = has_engine_settings ? engine::save_folder(player_dir) : "";
    std::vector<std::string> matching;
    if (has_engine_settings && platform::files::list_folder(folder, "*.*", names)) {
      for (const std::string& name : names) {
        if (match.matches(name)) matching.push_back(name);
      }
    }
    if (!matching.empty()) {
      std::string question = "确定要删除 [" + folder + "] 下面的这些文件吗？\r\n\r\n";
      for (const std::string& name : matching) question += name + "\r\n";
      const auto answer = services_.dialogs.message_box(
          "提示：", question, platform::MessageButtons::kYesNo, platform::MessageIcon::kQuestion);
      if (answer == platform::Answer::kYes) {
        bool all_gone = true;
        for (const std::string& name : matching) {
          const std::string path = platform::files::join(folder, name);
          if (platform::files::exists(path)) platform::files::remove(path);
          if (platform::files::exists(path)) all_gone = false;
        }
        if (!all_gone) balloon("部分文件可能正在使用中，未删除成功！请手动删除！");
      } else {
        services_.launcher.open_folder(folder);
      }
    }
  }

  delete_list_entry("delk://" + line_number);
  if (!plays_network_item()) Web5.refresh();
}

}  // namespace pelmora::app
