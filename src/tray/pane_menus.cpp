// The popup menus of the tips form that the main window opens over its panes: the catalogue's
// context menu, the list panes' entry menu and the side panel's list label with its task menu,
// and the handlers of their items.
#include "tray/pane_menus.h"
#include "app/main_window.h"
#include "app/settings_store.h"
#include "engine_client/engine_files.h"
#include "lists/download_match.h"
#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/launcher.h"
#include "playback/session.h"
#include "tray/tips_form.h"
#include "util/link_schemes.h"
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
  if (chrome.pinned) toggle_pin();
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
  if (href.find(links::kOpen) == std::string::npos) return false;
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
  open_list_entry(std::string(links::kOpen) + without(chrome.list_link, links::kOpen));
}

void BA1::ddd() {
  if (chrome.list_link.find("//") == std::string::npos) return;
  delete_list_entry(std::string(links::kDelete) + without(chrome.list_link, links::kOpen));
}

void BA1::eee() {
  if (chrome.list_link.find("//") == std::string::npos) return;
  std::string line_number = without(without(chrome.list_link, links::kOpen), links::kDelete);
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

  delete_list_entry(std::string(links::kDelete) + line_number);
  if (!plays_network_item()) Web5.refresh();
}

}  // namespace pelmora::app

namespace pelmora::tray {

// Transport buttons the player's menu presses.

PlayerMenus::PlayerMenus(platform::Form& owner, app::BA1& window, platform::MenuItem& main_menu)
    : bo_menu(&owner, "bo_menu"),
      bo_play(&owner, "bo_play"),
      bo_stop(&owner, "bo_stop"),
      bo_full(&owner, "bo_full"),
      bo_mute(&owner, "bo_mute"),
      bo_s1(&owner, "bo_s1"),
      bo_open(&owner, "bo_open"),
      bo_s2(&owner, "bo_s2"),
      bo_prev(&owner, "bo_prev"),
      bo_next(&owner, "bo_next"),
      tray_menu(&owner, "tray_menu"),
      tr_show(&owner, "tr_show"),
      tr_play(&owner, "tr_play"),
      tr_s1(&owner, "tr_s1"),
      window_(window) {
  struct Entry {
    platform::MenuItem* item;
    const char* caption;
    std::function<void()> command;  // none for a separator
  };
  const Entry entries[] = {
      {&bo_play, "播放", [&window] { window.toggle_pause(); }},
      {&bo_stop, "停止", [&window] { window.stop(); }},
      {&bo_full, "全屏", [&window] { window.enter_full_screen(); }},
      {&bo_mute, "静音", [&window] { window.toggle_mute(); }},
      {&bo_s1, "-", {}},
      {&bo_open, "打开文件", [&window] { window.open_file(); }},
      {&bo_s2, "-", {}},
      {&bo_prev, "上一集", [&window] { window.step_from_bar(app::Direction::kPrevious); }},
      {&bo_next, "下一集", [&window] { window.step_from_bar(app::Direction::kNext); }},
  };
  // A top-level menu is never in a menu bar: invisible, captioned with its name.
  bo_menu.set_caption(bo_menu.name());
  bo_menu.set_visible(false);
  for (const Entry& entry : entries) {
    entry.item->set_caption(entry.caption);
    if (entry.command) entry.item->on_click = entry.command;
    bo_menu.add_item(*entry.item);
  }

  tray_menu.set_caption(tray_menu.name());
  tray_menu.set_visible(false);
  tr_show.set_caption("显示主界面");
  tr_show.on_click = [&window] {
    if (!window.shown()) window.show();
    if (window.window_state() == platform::WindowState::kMinimized) {
      window.set_window_state(platform::WindowState::kNormal);
    }
    window.set_focus();
  };
  tr_play.set_caption("播放");
  tr_play.on_click = [&window] { window.toggle_pause(); };
  tr_s1.set_caption("-");
  for (platform::MenuItem* item : {&tr_show, &tr_play, &tr_s1}) tray_menu.add_item(*item);
  for (platform::MenuItem* entry : main_menu.items()) {
    auto mirror = std::make_unique<platform::MenuItem>(&owner, "tr_" + entry->name());
    mirror->set_caption(entry->caption());
    // The same command as the main menu's entry (whatever that entry's handler does).
    mirror->on_click = [entry] {
      if (entry->on_click) entry->on_click();
    };
    tray_menu.add_item(*mirror);
    main_entries_.push_back(std::move(mirror));
  }
}

void PlayerMenus::refresh() {
  const playback::Session& session = window_.session();
  const bool loaded = session.loaded();
  const char* play_caption = window_.chrome.playing ? "暂停" : "播放";
  for (platform::MenuItem* item : {&bo_play, &tr_play}) {
    item->set_caption(play_caption);
    item->set_enabled(loaded);
  }
  bo_stop.set_enabled(loaded);
  bo_full.set_enabled(session.state() == platform::PlayState::kPlaying);
  bo_mute.set_caption(window_.chrome.mute == app::MuteButton::kMuted ? "取消静音" : "静音");
  bo_prev.set_enabled(window_.can_step_episode(app::Direction::kPrevious));
  bo_next.set_enabled(window_.can_step_episode(app::Direction::kNext));
}

}  // namespace pelmora::tray
