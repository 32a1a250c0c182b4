// The panes' interception of the program's link schemes: the catalogue pane looks up and plays
// episodes, the network list pane plays and removes history entries, the other list panes hand
// the links on, and the web player pane announces the end of an item.
#include "app/main_window.h"

#include <climits>
#include <optional>
#include <vector>

#include "app/settings_store.h"
#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/http_fetch.h"
#include "platform/launcher.h"
#include "util/display_width.h"
#include "util/processes.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"
#include "web/link_grammar.h"

namespace pelmora::app {

namespace {

constexpr std::string_view kTerminalProgram = "QvodTerminal.exe";
constexpr std::string_view kApplicationTitle = "Pelmora";
constexpr int kTitleWidth = 30;

// Buttons of other parts of the window pressed from here.
constexpr int kStopButton = 1;
constexpr int kPlaybackTab = 9;
constexpr int kNowPlayingTab = 11;

// A stored position in seconds as the window keeps it; 0 when it is not a number.
int position_of(std::string_view text) {
  const std::optional<std::int64_t> value = web::whole_number(text);
  if (!value || *value < 0 || *value > INT_MAX) return 0;
  return static_cast<int>(*value);
}

// The whole-number reading of a stored episode number; 0 when it is not a number.
std::int64_t number_or_zero(std::string_view text) {
  return web::whole_number(text).value_or(0);
}

// Line `index` (from 1) of a history list when the list exists and has that line.
std::optional<std::string> list_line(const std::string& path, std::int64_t index) {
  const std::optional<std::string> content = platform::files::read(path);
  if (!content) return std::nullopt;
  const std::vector<std::string_view> lines =
      text::split_lines(*content, static_cast<std::size_t>(index));
  if (static_cast<std::int64_t>(lines.size()) < index) return std::nullopt;
  return std::string(lines[static_cast<std::size_t>(index - 1)]);
}

// The line an entry link names, when the list has that line and, for a link that carries the
// check of its row, when that line still holds the record the row was made from. A row left from
// an older page (the program ended between writing a list and its page) acts on nothing; its
// page is rendered anew from the list instead.
std::optional<std::int64_t> entry_line(const lists::ListPlace& place, std::string_view list_file,
                                       std::string_view payload) {
  const std::optional<web::ListTarget> target = web::list_target(payload);
  if (!target) return std::nullopt;
  const std::optional<std::string> record =
      list_line(platform::files::join(place.folder, list_file), target->line);
  if (!record) return std::nullopt;
  if (!target->check.empty() &&
      (!lists::detail::is_record(*record) || lists::detail::row_check(*record) != target->check)) {
    lists::render_list(place, list_file);
    return std::nullopt;
  }
  return target->line;
}

std::string field(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? fields[index] : std::string();
}

}  // namespace

void BA1::wire_web() {
  Web1.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web1_BeforeNavigate2(url, cancel);
  };
  Web2.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web2_BeforeNavigate2(url, cancel);
  };
  Web3.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web3_BeforeNavigate2(url, cancel);
  };
  Web4.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web4_BeforeNavigate2(url, cancel);
  };
  Web5.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web5_BeforeNavigate2(url, cancel);
  };
  Timer4.on_timer = [this] { Timer4_Timer(); };
}

void BA1::Web1_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (web::is_link(web::Scheme::kSearch, url)) {
    cancel = true;
    search_episode(url);
  } else if (web::is_link(web::Scheme::kPlay, url)) {
    cancel = true;
    play_episode_link(url);
  }
}

void BA1::Web2_BeforeNavigate2(const std::string& url, bool& cancel) {
  // An empty marker would match every address and swallow every page of the pane.
  if (config().end_marker.empty() || url.find(config().end_marker) == std::string::npos) return;
  cancel = true;
  end_of_item();
}

void BA1::Web3_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (web::is_link(web::Scheme::kDelete, url)) {
    cancel = true;
    delete_list_entry(url);
  } else if (web::is_link(web::Scheme::kOpen, url)) {
    cancel = true;
    open_list_entry(url);
  }
}

void BA1::Web4_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (web::is_link(web::Scheme::kDelete, url)) {
    cancel = true;
    Web3.navigate(url);
    Web4.refresh();
  } else if (web::is_link(web::Scheme::kOpen, url)) {
    cancel = true;
    Web3.navigate(url);
  }
}

void BA1::Web5_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (web::is_link(web::Scheme::kDelete, url)) {
    cancel = true;
    Web3.navigate(url);
    Web5.refresh();
  } else if (web::is_link(web::Scheme::kOpen, url)) {
    cancel = true;
    Web3.navigate(url);
  } else if (web::is_link(web::Scheme::kSearch, url) || web::is_link(web::Scheme::kPlay, url)) {
    cancel = true;
    Web1.navigate(url);
  }
}

std::string BA1::resource_url(std::string_view id, std::string_view v,
                              std::string_view episode) const {
  return service_url(web::resource_path(id, v, episode));
}

bool BA1::terminal_running() {
  return text::find_process(services().processes, kTerminalProgram) != 0;
}

void BA1::start_terminal() {
  services().launcher.start_program(player_dir + std::string(kTerminalProgram), {});
}

std::string_view BA1::list_on_view() const {
  return qk.caption().find("列表") != std::string::npos ? lists::kLocalList : lists::kNetworkList;
}

void BA1::search_episode(const std::string& url) {
  const web::EpisodeKey key = web::EpisodeKey::parse(web::payload_of(web::Scheme::kSearch, url));
  zhun.set_caption("正在搜索资源，请稍后");
  npc_Click(kPlaybackTab);
  // The rest follows the service's reply; a later episode asked for drops this one.
  episode_request.start(resource_url(std::to_string(key.id), key.v, key.v1),
                        [this, key](std::string body) { episode_found(key, body); });
}

void BA1::episode_found(const web::EpisodeKey& key, const std::string& body) {
  const web::ResourceReply reply = web::ResourceReply::parse(body);
  if (reply.kind == web::ResourceReply::Kind::kRecord) {
    const web::PlayLink link = web::play_link_for(key, reply, reply.source_kind, key.v1);
    // Re-enters this pane's handler, which plays the link.
    Web1.navigate(link.link());
  } else if (body.empty() || reply.kind == web::ResourceReply::Kind::kNone ||
             reply.kind == web::ResourceReply::Kind::kNotReady) {
    next_link = "1";
    zhun.set_caption("读取数据出错，请重试");
  } else {
    balloon("读取数据出错，请返回重试！");
  }
}

void BA1::play_episode_link(const std::string& url) {
  bo_but_Click(kStopButton);

  if (!terminal_running()) {
    read_player_dir();
    if (!player_dir.empty()) start_terminal();
  }

  const web::PlayLink link = web::PlayLink::parse(web::payload_of(web::Scheme::kPlay, url));
  const std::string episode = link.key().text();
  if (link.kind == "qvod") {
    // A play link always starts from the beginning.
    resume_pos = 0;
    web_play = 0;
    if (has_player()) {
      QvodC->set_media_address(text::url_unescape(link.address));
      QvodC->play();
    }
    if (!Timer1.timer_enabled()) Timer1.set_timer_enabled(true);
    begin_item(episode, std::to_string(link.id));
  } else {
    // Other kinds play as a page of the service; nothing is resumed or saved for them.
    web_play = 1;
    Web2.navigate(service_url(web::web_player_path(link.kind, link.address)));
    episode_request.drop();
    next_request.drop();
    cur_episode = episode;
    next_link = "0";
    next_addr = "0";
    cur_item = "0";
  }
  bo_name.set_caption(text::cut_width(text::url_unescape(link.name), kTitleWidth) + "-" +
                      text::url_unescape(link.label));

  if (!link.name.empty() && !link.id_text.empty() && !link.address.empty()) {
    Web5.navigate(service_url(web::episode_list_path(episode, "0")));
    lists::add_task(list_place(), link.id, link.name, link.label, link.address,
                    number_or_zero(link.v), number_or_zero(link.v1), 0);
  }
  list_kind = 1;
  npc_Click(kPlaybackTab);
  npc_Click(kNowPlayingTab);
}

void BA1::open_list_entry(const std::string& url) {
  // An index that names no line of the list on view is ignored: nothing stops, nothing plays.
  const std::string_view list_file = list_on_view();
  const std::optional<std::int64_t> index =
      entry_line(list_place(), list_file, web::payload_of(web::Scheme::kOpen, url));
  if (!index) return;
  const std::optional<std::string> record = list_line(program_file(list_file), *index);
  if (!record || !lists::detail::is_record(*record)) return;

  bo_but_Click(kStopButton);
  const std::vector<std::string> fields = web::split_fields(*record, "|");

  if (list_file == lists::kLocalList) {
    const std::string display_name = field(fields, 0);
    const std::string path = field(fields, 1);
    if (!platform::files::is_regular_file(path)) {
      services().dialogs.message_box(std::string(kApplicationTitle), path + "不存在",
                                     platform::MessageButtons::kOk, platform::MessageIcon::kNone);
      lists::remove_line(list_place(), lists::kLocalList, *index);
      return;
    }
    if (has_player()) {
      QvodC->set_media_address(path);
      QvodC->play();
    }
    Timer1.set_timer_enabled(true);
    bo_name.set_caption(text::cut_width(text::url_unescape(display_name), kTitleWidth));
    resume_done = 0;
    resume_pos = position_of(field(fields, 2));
    begin_item("0", path);
    list_kind = 2;
    web_play = 0;
    Pic2.set_visible(false);
    Web2.navigate("about:blank");
    qvod.set_visible(true);
    return;
  }

  const std::string id = field(fields, 0);
  const std::string name = field(fields, 1);
  const std::string label = text::url_unescape(field(fields, 2));
  const std::string address = field(fields, 3);
  const std::string v = field(fields, 4);
  const std::string v1 = field(fields, 5);
  const std::string episode = id + "-" + v + "-" + v1 + "-" + name;
  if (address.find("qvod") != std::string::npos) {
    // Here the folder is only what the window learned; the settings are not asked.
    if (!terminal_running() && !player_dir.empty()) {
      services().backend.pump_events();
      start_terminal();
    }
    if (has_player()) {
      QvodC->set_media_address(text::url_unescape(address));
      QvodC->play();
    }
    Timer1.set_timer_enabled(true);
    bo_name.set_caption(text::cut_width(text::url_unescape(name), kTitleWidth) + "-" + label);
    resume_done = 0;
    resume_pos = position_of(field(fields, 6));
    Web5.navigate(service_url(web::episode_list_path(episode, "0")));
    begin_item(episode, id);
    web_play = 0;
    Pic2.set_visible(false);
    Web2.navigate("about:blank");
    qvod.set_visible(true);
  } else {
    // The episode list page opens an entry of another kind by itself.
    web_play = 1;
    cur_item = "0";
    Web5.navigate(service_url(web::episode_list_path(episode, v + v1)));
  }
  list_kind = 1;
  npc_Click(kNowPlayingTab);
}

void BA1::delete_list_entry(const std::string& url) {
  const std::string_view list_file = list_on_view();
  // Only a line the list has is removed; any other index leaves the list as it is.
  const std::optional<std::int64_t> index =
      entry_line(list_place(), list_file, web::payload_of(web::Scheme::kDelete, url));
  if (!index) return;
  lists::remove_line(list_place(), list_file, *index);
  if (list_kind != 1) Web5.refresh();
}

void BA1::end_of_item() {
  if (settings::read_ini(ini_path, "S_q", "s_bo") != "2") {
    Timer1.set_timer_enabled(true);
    return;
  }
  if (next_link == "1") return;
  if (next_link == "0" || next_link == "3") {
    // No next episode is prepared: the episode list page opens the following one itself.
    if (cur_episode == "0" || cur_episode.find('-') == std::string::npos) return;
    const web::EpisodeKey key = web::EpisodeKey::parse(cur_episode);
    const std::optional<std::int64_t> episode = web::whole_number(key.v1);
    if (!episode) return;
    Web5.navigate(
        service_url(web::episode_list_path(cur_episode, key.v + std::to_string(*episode + 1))));
    return;
  }
  Web1.navigate(next_link);
}

}  // namespace pelmora::app
