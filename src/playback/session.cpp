#include "playback/session.h"

#include <algorithm>
#include <climits>

#include "app/settings_store.h"
#include "playback/status_text.h"
#include "util/file_address.h"
#include "util/link_schemes.h"
#include "util/text_helpers.h"
#include "util/url_codec.h"

namespace pelmora::playback {

namespace {

using platform::PlayState;

// Thousandths of the item that must be downloaded before the next episode is prepared.
constexpr int kNextEpisodePermille = 601;
// Ticks of the retry timer between a failed fetch and its retry (50 s each).
constexpr int kRetryTicks = 2;
// How long the player may take to begin an item before the user is told it did not: an engine
// item waits for the engine (which answers within its own time-outs), any other at once.
constexpr int kBeginMs = 5000;
constexpr int kEngineBeginMs = 20000;
constexpr const char* kNotBegunText = "播放失败：播放器没有开始播放，请重试";

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

Session::Session(std::unique_ptr<platform::PlayerControl> player, platform::HttpFetch& http,
                 lists::ListPlace lists, settings::Store& settings, std::string service_url,
                 SessionHost& host, SessionTimers timers)
    : player_(std::move(player)),
      lists_(std::move(lists)),
      settings_(settings),
      service_url_(std::move(service_url)),
      host_(host),
      timers_(timers),
      episode_request_(http),
      next_request_(http) {
  if (player_ != nullptr) player_->set_listener(this);
  timers_.end.on_timer = [this] { end_timer(); };
  timers_.retry.on_timer = [this] { retry_tick(); };
  timers_.load_watch.on_timer = [this] { not_begun(); };
}

Session::~Session() {
  if (player_ != nullptr) player_->set_listener(nullptr);
  timers_.end.on_timer = nullptr;
  timers_.retry.on_timer = nullptr;
  timers_.load_watch.on_timer = nullptr;
}

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
  // Nothing of the new item has played yet: a stop before its first tick saves nothing.
  last_position_ = 0;
  stopped_ = false;
  // The item before may have ended a moment ago: its end step is moot now.
  timers_.end.set_timer_enabled(false);
  // Until its first frame is out, the advert panel stands in for the picture (never the last
  // frame of the item before).
  host_.show_picture(false);

  if (start.web_page.empty()) {
    if (player_ != nullptr) {
      // The item starts at its resume point, so its first picture is that of the resume point.
      player_->play_from(start.address, std::max(start.resume, 0));
      // The engine may take its time to find the item (it says so when it gives up); any other
      // address is begun by the player at once.
      timers_.load_watch.set_timer_enabled(false);
      timers_.load_watch.set_interval(links::is_engine_address(start.address) ? kEngineBeginMs
                                                                              : kBeginMs);
      timers_.load_watch.set_timer_enabled(true);
    }
    if (!timers_.monitor.timer_enabled()) timers_.monitor.set_timer_enabled(true);
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
  timers_.monitor.set_timer_enabled(false);
  timers_.end.set_timer_enabled(false);
  timers_.load_watch.set_timer_enabled(false);
  stopped_ = true;
  if (player_ != nullptr) player_->stop();
}

bool Session::loaded() const {
  return player_ != nullptr && !player_->media_address().empty();
}

std::string Session::address() const {
  return player_ != nullptr ? player_->media_address() : std::string();
}

PlayState Session::state() const {
  return player_ != nullptr ? player_->play_state() : PlayState::kReady;
}

int Session::position() const {
  return player_ != nullptr ? player_->position() : 0;
}

int Session::duration() const {
  return player_ != nullptr ? player_->duration() : 0;
}

int Session::volume() const {
  return player_ != nullptr ? player_->volume() : 0;
}

Toggle Session::toggle_pause() {
  if (!loaded() || web_kind()) return Toggle::kNothing;
  const PlayState now = player_->play_state();
  // Still opening, buffering or waiting: the player is not yet where a press could act.
  if (static_cast<int>(now) > static_cast<int>(PlayState::kPlaying)) return Toggle::kNothing;
  // A finished item plays again from here only after the stop button stopped it.
  if (now == PlayState::kReady && !stopped_) return Toggle::kNothing;
  if (now == PlayState::kPlaying) {
    player_->pause();
    return Toggle::kPaused;
  }
  // After a stop the item starts again where it stood, as its history entry would start it.
  if (stopped_ && resume_pos_ > 0) {
    player_->play_from(player_->media_address(), resume_pos_);
  } else {
    player_->play();
  }
  stopped_ = false;
  if (!timers_.monitor.timer_enabled()) timers_.monitor.set_timer_enabled(true);
  return Toggle::kPlays;
}

void Session::play() {
  if (state() != PlayState::kPlaying) toggle_pause();
}

void Session::pause() {
  if (state() == PlayState::kPlaying) toggle_pause();
}

void Session::seek(int seconds) {
  if (!loaded()) return;
  // A seek back from the end (or anywhere) calls off the end step: the item plays on.
  timers_.end.set_timer_enabled(false);
  player_->set_position(std::max(seconds, 0));
}

void Session::seek_by(int delta) {
  if (!loaded()) return;
  const int from = player_->position();
  if (from <= 0) return;
  int target = std::max(from + delta, 0);
  const int length = player_->duration();
  if (length > 0 && target > length) target = std::max(length - 2, 0);
  seek(target);
}

void Session::set_volume(int percent) {
  if (player_ != nullptr) player_->set_volume(std::clamp(percent, 0, 100));
}

void Session::set_mute(bool mute) {
  if (player_ != nullptr) player_->set_mute(mute);
}

void Session::set_full_screen(bool full_screen) {
  if (player_ != nullptr) player_->set_full_screen(full_screen);
}

void Session::set_ad_page(const std::string& address) {
  if (player_ != nullptr) player_->set_ad_page_address(address);
}

void Session::player_event(platform::PlayerEvent event) {
  using platform::PlayerEvent;
  // Whatever the player tells, it has begun the item.
  timers_.load_watch.set_timer_enabled(false);
  switch (event) {
    case PlayerEvent::kOpening:
    case PlayerEvent::kLoaded:
      break;
    case PlayerEvent::kFirstFrame:
      host_.show_picture(true);
      host_.refresh();
      break;
    case PlayerEvent::kSeekDone:
      host_.refresh();
      break;
    case PlayerEvent::kEnded: {
      const bool balloons = settings_.get().shows_balloons();
      if (balloons && host_.shutdown_armed()) {
        host_.balloon("即将播放完毕，正准备自动关机！");
      } else if (balloons && next_.prepared()) {
        host_.balloon("正在准备播放下一集！");
      }
      // The end step follows in two seconds, unless a seek or a start calls it off.
      timers_.end.set_timer_enabled(false);
      timers_.end.set_timer_enabled(true);
      host_.refresh();
      break;
    }
    case PlayerEvent::kFailed:
    case PlayerEvent::kIdle:
      timers_.end.set_timer_enabled(false);
      host_.show_picture(false);
      host_.refresh();
      break;
  }
}

void Session::end_timer() {
  timers_.end.set_timer_enabled(false);
  host_.show_finished();
  if (const std::optional<std::string> link = end_step(host_.shutdown_armed())) {
    host_.play_link(*link);
  }
}

void Session::not_begun() {
  // The player never began the item: it is let go of, and the user is told, instead of a wait
  // that would never end. Play (or any other item) starts afresh.
  stop();
  host_.show_picture(false);
  host_.set_status(kNotBegunText);
}

TransportView Session::tick() {
  TransportView view;
  if (player_ == nullptr) return view;
  const platform::PlayerReadings reading = player_->readings();
  if (reading.address.empty()) return view;
  view.loaded = true;

  // A finished item resumes from its start: the end-of-playback step saved that as 1, and the
  // finished player's position of 0 must not undo it (a stop would then keep an old resume
  // point in the history list).
  last_position_ = reading.state == PlayState::kReady ? 1 : reading.position;
  // The last two seconds of an item whose length is known, with balloons off: the monitor leaves
  // the display as it is (the end step follows the player's end of the item).
  const bool balloons = settings_.get().shows_balloons();
  if (!balloons && reading.duration > 0 && reading.duration - 2 < reading.position &&
      reading.position > 0) {
    view.held = true;
    return view;
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
    timers_.monitor.set_timer_enabled(false);
    host_.shut_down();
    return std::nullopt;
  }
  resume_pos_ = 1;
  last_position_ = 1;
  if (next_.state == NextEpisode::State::kFailed) return end_of_item();
  if (!next_.prepared()) return std::nullopt;
  timers_.monitor.set_timer_enabled(false);
  host_.show_next_notice();
  return end_of_item();
}

std::optional<std::string> Session::end_of_item() {
  if (!settings_.get().autoplays()) {
    timers_.monitor.set_timer_enabled(true);
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
      timers_.retry.set_timer_enabled(true);
      break;
  }
}

void Session::retry_tick() {
  ++next_.retry_ticks;
  if (next_.retry_ticks < kRetryTicks) return;
  timers_.retry.set_timer_enabled(false);
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
          // What follows the item that plays is that item's own: a look-up of another episode
          // that found nothing leaves it as it is.
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
