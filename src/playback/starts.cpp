// The ways an item starts (a play link, an entry of either history list, a command line handed
// over, the open-file button), all through `start_item`, and the commands of the program's
// links that ask the service for an episode or announce the end of one.
#include <climits>
#include <optional>
#include <vector>

#include "app/main_window.h"
#include "lists/list_lines.h"
#include "lists/list_pages.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "playback/session.h"
#include "util/display_width.h"
#include "util/file_address.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"
#include "web/link_grammar.h"

namespace pelmora::app {

namespace {

constexpr std::string_view kApplicationTitle = "Pelmora";
// What cannot be played: the player is given local files and web and player addresses only.
constexpr std::string_view kRefusedText =
    "只能播放本地文件和 http://、https://、qvod:// 地址，无法播放：";
constexpr std::string_view kRefusedStatus = "无法播放该地址";
constexpr int kTitleWidth = 30;

using playback::Start;

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

std::string field(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? fields[index] : std::string();
}

// The title of a file in the transport bar: its name, cut to the bar's width.
std::string file_title(std::string_view name) {
  return text::cut_width(name, kTitleWidth);
}

// The title of an episode: the programme's name, cut, and the episode's caption.
std::string episode_title(std::string_view escaped_name, std::string_view label) {
  return text::cut_width(text::url_unescape(escaped_name), kTitleWidth) + "-" + std::string(label);
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

// A file or address new to the local list (handed over or chosen): played from its beginning,
// recorded at the top of the list under its name.
Start new_local_file(const std::string& path) {
  Start start;
  start.item = playback::LocalFile{path};
  start.address = path;
  start.title = file_title(text::address_name(path));
  start.local_record = true;
  return start;
}

}  // namespace

void BA1::start_item(playback::Start start, ItemView view) {
  const bool local_file = std::holds_alternative<playback::LocalFile>(start.item);
  session().start(std::move(start));
  // A file is no episode of the series played before: its episode list goes.
  if (local_file) show_no_episode_list();
  if (view == ItemView::kPlayer) {
    Pic2.set_visible(false);
    Web2.navigate("about:blank");
    qvod.set_visible(true);
  }
}

void BA1::play_episode_link(const std::string& url) {
  const web::PlayLink link = web::PlayLink::parse(web::payload_of(web::Scheme::kPlay, url));
  // A page may hand the player nothing but media: what plays goes on playing.
  if (link.kind == "qvod" && !text::player_may_play(text::url_unescape(link.address))) {
    show_status(std::string(kRefusedStatus));
    return;
  }
  stop();
  const std::string episode = link.key().text();
  Start start;
  start.terminal = Start::Terminal::kFromSettings;
  if (link.kind == "qvod") {
    // A play link always starts from the beginning.
    start.item = playback::NetworkEpisode{playback::Episode::of(episode), std::to_string(link.id)};
    start.address = text::url_unescape(link.address);
  } else {
    // Other kinds play as a page of the service; nothing is resumed or saved for them.
    start.item = playback::WebEpisode{playback::Episode::of(episode)};
    start.web_page = service_url(web::web_player_path(link.kind, link.address));
  }
  start.title = episode_title(link.name, text::url_unescape(link.label));
  if (!link.name.empty() && !link.id_text.empty() && !link.address.empty()) {
    start.episode_list = service_url(web::episode_list_path(episode, "0"));
    start.network_record = Start::NetworkRecord{link.id,
                                                link.name,
                                                link.label,
                                                link.address,
                                                number_or_zero(link.v),
                                                number_or_zero(link.v1)};
  }
  start_item(std::move(start), ItemView::kAsTabShows);
  show_tab(Tab::kPlayback);
  show_tab(Tab::kNowPlaying);
}

void BA1::open_list_entry(const std::string& url) {
  // An index that names no line of the list on view is ignored: nothing stops, nothing plays.
  const std::string_view list_file = list_on_view();
  const std::optional<std::int64_t> index =
      entry_line(list_place(), list_file, web::payload_of(web::Scheme::kOpen, url));
  if (!index) return;
  const std::optional<std::string> record = list_line(program_file(list_file), *index);
  if (!record || !lists::detail::is_record(*record)) return;

  const std::vector<std::string> fields = web::split_fields(*record, "|");
  if (list_file == lists::kNetworkList && field(fields, 3).find("qvod") != std::string::npos &&
      !text::player_may_play(text::url_unescape(field(fields, 3)))) {
    show_status(std::string(kRefusedStatus));
    return;
  }
  stop();

  if (list_file == lists::kLocalList) {
    const std::string display_name = field(fields, 0);
    const std::string path = field(fields, 1);
    // A web or player address the local list holds plays as it was handed over; a path must
    // still name a file, and anything else is no media at all.
    const bool address = path.find("://") != std::string::npos && text::player_may_play(path) &&
                         !text::local_file_of(path);
    if (!address && !platform::files::is_regular_file(path)) {
      services().dialogs.message_box(std::string(kApplicationTitle), path + "不存在",
                                     platform::MessageButtons::kOk, platform::MessageIcon::kNone);
      lists::remove_line(list_place(), lists::kLocalList, *index);
      return;
    }
    Start start;
    start.item = playback::LocalFile{path};
    start.address = path;
    start.title = file_title(text::url_unescape(display_name));
    start.resume = position_of(field(fields, 2));
    start_item(std::move(start), ItemView::kPlayer);
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
    Start start;
    start.terminal = Start::Terminal::kIfKnown;
    start.item = playback::NetworkEpisode{playback::Episode::of(episode), id};
    start.address = text::url_unescape(address);
    start.title = episode_title(name, label);
    start.resume = position_of(field(fields, 6));
    start.episode_list = service_url(web::episode_list_path(episode, "0"));
    start_item(std::move(start), ItemView::kPlayer);
  } else {
    // The episode list page opens an entry of another kind by itself, with its play link; until
    // then the entry's episode is the one on view and nothing of it is saved.
    session().mark_web_episode(playback::Episode::of(episode));
    Web5.navigate(service_url(web::episode_list_path(episode, v + v1)));
  }
  show_tab(Tab::kNowPlaying);
}

std::optional<std::string> BA1::command_item(std::string command) {
  std::erase(command, '"');
  if (command.ends_with('/')) command.pop_back();
  // The desktop hands a local file over as a "file://" address: it plays and is listed by its
  // path, as one chosen with the open-file button.
  if (auto path = text::local_file_of(command)) command = std::move(*path);
  if (!text::player_may_play(command)) return std::nullopt;
  return command;
}

void BA1::refuse_item(const std::string& what) {
  services().dialogs.message_box(std::string(kApplicationTitle), std::string(kRefusedText) + what,
                                 platform::MessageButtons::kOk, platform::MessageIcon::kWarning);
}

void BA1::l_com(std::string command) {
  const std::optional<std::string> item = command_item(command);
  if (!item) {
    refuse_item(command);
    return;
  }
  start_item(new_local_file(*item), ItemView::kAsTabShows);
  show_tab(Tab::kPlayback);
}

void BA1::play_chosen_file(const std::string& path) {
  if (!text::player_may_play(path)) {
    refuse_item(path);
    return;
  }
  stop();
  // A new file starts from its beginning, whatever the item before was to resume at, and from
  // nothing of the series that played before it.
  start_item(new_local_file(path), ItemView::kPlayer);
  show_tab(Tab::kLocalList);
}

void BA1::delete_list_entry(const std::string& url) {
  const std::string_view list_file = list_on_view();
  // Only a line the list has is removed; any other index leaves the list as it is.
  const std::optional<std::int64_t> index =
      entry_line(list_place(), list_file, web::payload_of(web::Scheme::kDelete, url));
  if (!index) return;
  lists::remove_line(list_place(), list_file, *index);
  if (!plays_network_item()) Web5.refresh();
}

void BA1::search_episode(const std::string& url) {
  const web::EpisodeKey key = web::EpisodeKey::parse(web::payload_of(web::Scheme::kSearch, url));
  show_status("正在搜索资源，请稍后");
  show_tab(Tab::kPlayback);
  session().search(key, [this](const std::string& play_link) { play_episode_link(play_link); });
}

bool BA1::can_step_episode(Direction direction) const {
  return session().can_step(direction == Direction::kPrevious);
}

void BA1::step_episode(Direction direction, std::function<void()> finished) {
  // The found episode is played as its play link would be.
  session().step(
      direction == Direction::kPrevious,
      [this](const std::string& play_link) { play_episode_link(play_link); }, std::move(finished));
}

void BA1::end_of_item() {
  if (const std::optional<std::string> link = session().end_of_item()) play_episode_link(*link);
}

}  // namespace pelmora::app
