#include "playback/session.h"

#include <climits>

#include "app/settings_store.h"
#include "playback/status_text.h"
#include "util/file_address.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"

namespace pelmora::playback {

namespace {

using platform::PlayState;

// Thousandths of the item that must be downloaded before the next episode is prepared.
constexpr int kNextEpisodePermille = 601;
// Ticks of the retry timer between a failed fetch and its retry (50 s each).
constexpr int kRetryTicks = 2;

NextEpisode next_in(NextEpisode::State state, std::string address = {},
                    std::string play_link = {}) {
  NextEpisode next;
  next.state = state;
  next.address = std::move(address);
  next.play_link = std::move(play_link);
  return next;
}

}  // namespace

Episode Episode::of(std::string text) {
  Episode episode;
  episode.key = web::EpisodeKey::parse(text);
  episode.text = std::move(text);
  return episode;
}

std::optional<std::int64_t> Episode::number() const {
  return web::whole_number(key.v1);
}

Session::Session(platform::PlayerControl* player, platform::HttpFetch& http, lists::ListPlace lists,
                 settings::Store& settings, std::string service_url, SessionHost& host)
    : player_(player),
      lists_(std::move(lists)),
      settings_(settings),
      service_url_(std::move(service_url)),
      host_(host),
      episode_request_(http),
      next_request_(http) {}

const Episode* Session::episode() const {
  if (const auto* network = std::get_if<NetworkEpisode>(&current_)) return &network->episode;
  if (const auto* web_kind = std::get_if<WebEpisode>(&current_)) return &web_kind->episode;
  return nullptr;
}

std::optional<std::string_view> Session::list_of_current() const {
  if (std::holds_alternative<LocalFile>(current_)) return lists::kLocalList;
  if (std::holds_alternative<NoItem>(current_)) return std::nullopt;
  return lists::kNetworkList;
}

std::string Session::resource_url(std::string_view id, std::string_view v,
                                  std::string_view episode) const {
  return service_url_ + web::resource_path(id, v, episode);
}

void Session::drop_requests() {
  episode_request_.drop();
  next_request_.drop();
}

void Session::start(Start start) {
  if (start.terminal != Start::Terminal::kLeave) {
    host_.start_terminal(start.terminal == Start::Terminal::kFromSettings);
  }
  // Whatever was asked for the item before is moot now: a reply still on its way would play an
  // episode over this item or prepare the wrong next one.
  drop_requests();
  ++starts_;
  current_ = std::move(start.item);
  next_ = NextEpisode{};
  resume_pos_ = start.resume;
  resume_done_ = false;

  if (start.web_page.empty()) {
    if (player_ != nullptr) {
      player_->set_media_address(start.address);
      player_->play();
    }
    if (!host_.monitor_running()) host_.set_monitor_running(true);
  } else {
    host_.show_web_player(start.web_page);
  }
  host_.set_title(start.title);
  if (!start.episode_list.empty()) host_.show_episode_list(start.episode_list);
  if (const auto& record = start.network_record) {
    lists::add_task(lists_, record->id, record->name, record->label, record->address, record->v,
                    record->v1, 0);
  }
  if (start.local_record) {
    lists::add_local(lists_, text::address_name(start.address), start.address, 0);
  }
}

void Session::save_position() {
  if (last_position_ <= 0) return;
  if (const auto* network = std::get_if<NetworkEpisode>(&current_)) {
    std::int64_t id = 0;
    // An identity that is no number names no entry of the network list.
    if (text::parse_whole(network->list_id, id)) lists::set_task_pos(lists_, id, last_position_);
  } else if (const auto* file = std::get_if<LocalFile>(&current_)) {
    lists::set_local_pos(lists_, file->path, last_position_);
  }
}

void Session::stop() {
  save_position();
  last_position_ = 0;
  host_.set_monitor_running(false);
  if (player_ != nullptr) player_->stop();
}

TransportView Session::tick(bool shutdown_armed) {
  TransportView view;
  if (player_ == nullptr) return view;
  const platform::PlayerReadings reading = player_->readings();
  if (reading.address.empty()) return view;
  view.loaded = true;

  // A finished item resumes from its start: the end-of-playback step saved that as 1, and the
  // finished player's position of 0 must not undo it (a stop would then keep an old resume
  // point in the history list).
  last_position_ = reading.state == PlayState::kReady ? 1 : reading.position;
  // The last two seconds of an item whose length is known: the end-of-playback step follows.
  const bool balloons = settings_.get().shows_balloons();
  if (reading.duration > 0 && reading.duration - 2 < reading.position && reading.position > 0) {
    host_.start_end_timer();
    if (!balloons) {
      view.held = true;
      return view;
    }
    if (shutdown_armed) {
      host_.balloon("即将播放完毕，正准备自动关机！");
    } else if (next_.prepared()) {
      host_.balloon("正在准备播放下一集！");
    }
  }

  const bool waiting_retry = next_.state == NextEpisode::State::kFailed && next_.retry_waiting;
  if (reading.download_permille > kNextEpisodePermille &&
      next_.state != NextEpisode::State::kNone && next_.state != NextEpisode::State::kBuffering &&
      !waiting_retry) {
    if (next_.state == NextEpisode::State::kReady) {
      player_->prepare_next(next_.address);
      next_.state = NextEpisode::State::kBuffering;
      if (balloons) host_.balloon("开始缓冲下一集！");
    } else {
      fetch_next();
    }
  }

  int position = reading.position;
  if (reading.state == PlayState::kPlaying) {
    if (resume_pos_ > 0 && !resume_done_) {
      if (player_->position() < resume_pos_) player_->set_position(resume_pos_);
      resume_done_ = true;
      position = player_->position();
    }
    view.picture = true;
    resume_pos_ = position;
    view.next_notice_off = true;
    view.play_button = PlayButton::kShowPause;
    view.status = status::playing_text(reading.transfer_rate, position, reading.stream_rate);
  } else {
    const auto failure =
        reading.state == PlayState::kStopped ? status::failure_text(reading.failure) : std::nullopt;
    view.status =
        failure ? failure : status::state_text(reading.state, reading.transfer_rate, true);
    if (reading.state == PlayState::kPaused) {
      view.paused = true;
      view.play_button = PlayButton::kOfferPlayCell;
    } else if (reading.state == PlayState::kReady || reading.state == PlayState::kStopped) {
      view.play_button = PlayButton::kOfferPlay;
    }
  }
  view.position = position;
  view.duration = reading.duration;
  view.downloaded_permille = reading.download_permille;
  // A message for the user stays on the status line for a few ticks before the player's
  // status takes it over again.
  if (status_hold_ > 0) {
    --status_hold_;
    view.status.reset();
  }
  return view;
}

std::optional<std::string> Session::end_step(bool shutdown_armed) {
  if (shutdown_armed) {
    host_.set_monitor_running(false);
    host_.shut_down();
    return std::nullopt;
  }
  resume_pos_ = 1;
  last_position_ = 1;
  if (next_.state == NextEpisode::State::kFailed) return end_of_item();
  if (!next_.prepared()) return std::nullopt;
  host_.set_monitor_running(false);
  host_.show_next_notice();
  return end_of_item();
}

std::optional<std::string> Session::end_of_item() {
  if (!settings_.get().autoplays()) {
    host_.set_monitor_running(true);
    return std::nullopt;
  }
  if (next_.state == NextEpisode::State::kNone) return std::nullopt;
  if (next_.prepared()) return next_.play_link;
  // No next episode is prepared: the episode list page opens the following one itself.
  const Episode* current = episode();
  if (current == nullptr) return std::nullopt;
  const std::optional<std::int64_t> number = current->number();
  if (!number) return std::nullopt;
  host_.show_episode_list(
      service_url_ +
      web::episode_list_path(current->text, current->key.v + std::to_string(*number + 1)));
  return std::nullopt;
}

void Session::fetch_next(std::function<void()> then) {
  const auto finish = [&then] {
    if (then) then();
  };
  if (!settings_.get().buffers_next()) {
    next_ = NextEpisode{};
    finish();
    return;
  }
  const Episode* current = episode();
  const std::optional<std::int64_t> number =
      current != nullptr ? current->number() : std::optional<std::int64_t>();
  // Nothing to prepare, or the fetch of the next episode is already on its way: the status
  // monitor calls every second and must not ask the service again meanwhile.
  if (!number || next_request_.pending()) {
    finish();
    return;
  }
  const std::string next_episode = std::to_string(*number + 1);
  next_request_.start(
      resource_url(current->key.id_text, current->key.v, next_episode),
      [this, key = current->key, next_episode, then](std::string body) {
        next_found(key, next_episode, body);
        if (then) then();
      },
      then);
}

void Session::next_found(const web::EpisodeKey& key, const std::string& next_episode,
                         const std::string& body) {
  const web::ResourceReply reply = web::ResourceReply::parse(body);
  switch (reply.kind) {
    case web::ResourceReply::Kind::kNone:
      next_ = next_in(NextEpisode::State::kNone);
      break;
    case web::ResourceReply::Kind::kNotReady:
      next_ = NextEpisode{};
      break;
    case web::ResourceReply::Kind::kRecord: {
      // The prepared episode always plays in the player, whatever kind the service named.
      const web::PlayLink link = web::play_link_for(key, reply, "qvod", next_episode);
      next_ = next_in(NextEpisode::State::kReady, reply.address, link.link());
      break;
    }
    case web::ResourceReply::Kind::kMalformed:
      // A failed request, an empty or an unreadable answer: try again in 100 s.
      next_ = next_in(NextEpisode::State::kFailed);
      next_.retry_waiting = true;
      next_.retry_ticks = 0;
      host_.balloon("读取下一集数据出错，稍后将重新读取！");
      host_.start_retry_timer(true);
      break;
  }
}

void Session::retry_tick() {
  ++next_.retry_ticks;
  if (next_.retry_ticks < kRetryTicks) return;
  host_.start_retry_timer(false);
  // The retry's last steps follow the fetch's reply, as they would follow a fetch that waited.
  fetch_next([this] {
    next_.retry_waiting = false;
    next_.retry_ticks = 0;
  });
}

void Session::search(const web::EpisodeKey& key, std::function<void(const std::string&)> found) {
  // The rest follows the service's reply; a later episode asked for drops this one.
  episode_request_.start(
      resource_url(std::to_string(key.id), key.v, key.v1),
      [this, key, found = std::move(found)](std::string body) {
        const web::ResourceReply reply = web::ResourceReply::parse(body);
        if (reply.kind == web::ResourceReply::Kind::kRecord) {
          found(web::play_link_for(key, reply, reply.source_kind, key.v1).link());
        } else if (body.empty() || reply.kind == web::ResourceReply::Kind::kNone ||
                   reply.kind == web::ResourceReply::Kind::kNotReady) {
          next_ = next_in(NextEpisode::State::kNone);
          host_.set_status("读取数据出错，请重试");
        } else {
          host_.balloon("读取数据出错，请返回重试！");
        }
      });
}

bool Session::can_step(bool backwards) const {
  const Episode* current = episode();
  if (current == nullptr) return false;
  const std::optional<std::int64_t> number = current->number();
  return number && (!backwards || *number > 0);
}

void Session::step(bool backwards, std::function<void(const std::string&)> found,
                   std::function<void()> finished) {
  // The user pressed for an episode that does not exist: the status line says so, instead of
  // the press seeming to do nothing.
  const auto no_such_episode = [this, backwards] {
    host_.set_status(backwards ? kNoEarlierEpisode : kNoLaterEpisode);
    status_hold_ = kStatusHoldTicks;
  };
  // There is no episode before episode 0.
  if (!can_step(backwards)) {
    if (episode() != nullptr && episode()->number()) no_such_episode();
    if (finished) finished();
    return;
  }
  const web::EpisodeKey key = episode()->key;
  const std::string target = std::to_string(*episode()->number() + (backwards ? -1 : 1));
  episode_request_.start(
      resource_url(key.id_text, key.v, target),
      [key, target, found = std::move(found), finished, no_such_episode](std::string body) {
        const web::ResourceReply reply = web::ResourceReply::parse(body);
        if (reply.kind == web::ResourceReply::Kind::kRecord) {
          found(web::play_link_for(key, reply, reply.source_kind, target).link());
        } else if (reply.kind == web::ResourceReply::Kind::kNone) {
          no_such_episode();
        }
        if (finished) finished();
      },
      finished);
}

}  // namespace pelmora::playback
