#include "platform/player/mpv_player.h"

#include <mpv/client.h>

#include <QtCore/QMetaObject>
#include <QtCore/QUrl>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/player/mpv_video_widget.h"
#include "platform/player/mpv_video_window.h"

namespace pelmora::platform::qt {
namespace {

// The properties the player follows; the number is the reply id mpv reports them with.
enum class Watched : uint64_t {
  kIdleActive = 1,
  kPause,
  kPausedForCache,
  kSeeking,
  kEofReached,
  kTimePos,
  kDuration,
  kVolume,
  kMute,
  kCacheSpeed,
  kVideoBitrate,
  kAudioBitrate,
  kDemuxerCacheState,
  kVoConfigured,
};

struct WatchedProperty {
  Watched id;
  const char* name;
  mpv_format format;
};

constexpr WatchedProperty kWatched[] = {
    {Watched::kIdleActive, "idle-active", MPV_FORMAT_FLAG},
    {Watched::kPause, "pause", MPV_FORMAT_FLAG},
    {Watched::kPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG},
    {Watched::kSeeking, "seeking", MPV_FORMAT_FLAG},
    {Watched::kEofReached, "eof-reached", MPV_FORMAT_FLAG},
    {Watched::kTimePos, "time-pos", MPV_FORMAT_DOUBLE},
    {Watched::kDuration, "duration", MPV_FORMAT_DOUBLE},
    {Watched::kVolume, "volume", MPV_FORMAT_DOUBLE},
    {Watched::kMute, "mute", MPV_FORMAT_FLAG},
    {Watched::kCacheSpeed, "cache-speed", MPV_FORMAT_INT64},
    {Watched::kVideoBitrate, "video-bitrate", MPV_FORMAT_DOUBLE},
    {Watched::kAudioBitrate, "audio-bitrate", MPV_FORMAT_DOUBLE},
    {Watched::kDemuxerCacheState, "demuxer-cache-state", MPV_FORMAT_NODE},
    {Watched::kVoConfigured, "vo-configured", MPV_FORMAT_FLAG},
};

// The readings an item starts from nothing (reset when it starts) whose values two items can
// share: mpv reports an observed property only when its value differs from the one it reported
// last, so an item as long as the one before would never report its length. These are asked for
// again once the item is open, tagged with the item's playlist entry.
constexpr Watched kAskedAgain[] = {Watched::kDuration, Watched::kVideoBitrate,
                                   Watched::kAudioBitrate, Watched::kDemuxerCacheState};
constexpr uint64_t kAnswerTag = uint64_t{1} << 62;
// Marks the reply to the program's own setting of "pause".
constexpr uint64_t kPauseSetTag = uint64_t{1} << 61;

uint64_t answer_id(int64_t entry, Watched watched) {
  return kAnswerTag | (static_cast<uint64_t>(entry) << 8) | static_cast<uint64_t>(watched);
}

const WatchedProperty& watched_property(Watched id) {
  for (const auto& watched : kWatched) {
    if (watched.id == id) return watched;
  }
  return kWatched[0];
}

bool flag_of(const mpv_event_property& property) {
  return property.format == MPV_FORMAT_FLAG && *static_cast<int*>(property.data) != 0;
}

double double_of(const mpv_event_property& property) {
  return property.format == MPV_FORMAT_DOUBLE ? *static_cast<double*>(property.data) : 0.0;
}

// A member of an mpv node map, or null.
const mpv_node* member(const mpv_node& map, const char* key) {
  if (map.format != MPV_FORMAT_NODE_MAP || map.u.list == nullptr) return nullptr;
  for (int i = 0; i < map.u.list->num; ++i) {
    if (std::strcmp(map.u.list->keys[i], key) == 0) return &map.u.list->values[i];
  }
  return nullptr;
}

// Whole seconds from mpv's fractional ones; negative and non-finite values read as 0.
int whole_seconds(double seconds, bool round) {
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  const double whole = round ? std::round(seconds) : std::floor(seconds);
  return whole > 2e9 ? 2000000000 : static_cast<int>(whole);
}

// The local file an address names (a path or a file:// address).
std::filesystem::path local_file(const std::string& address) {
  if (address.starts_with("file://")) {
    return QUrl(QString::fromStdString(address)).toLocalFile().toStdString();
  }
  return address;
}

// Why mpv could not play `target`, from the error it ended the item with.
PlayFailure failure_of(int mpv_error, const std::string& target) {
  if (mpv_error == MPV_ERROR_UNKNOWN_FORMAT) return PlayFailure::kUnsupportedFormat;
  if (is_network_address(target)) {
    // Whatever broke, the stream could not be had from where it was asked for.
    return mpv_error == MPV_ERROR_NOTHING_TO_PLAY ? PlayFailure::kBrokenFile
                                                  : PlayFailure::kUnreachable;
  }
  std::error_code error;
  if (!std::filesystem::exists(local_file(target), error)) return PlayFailure::kMissingFile;
  // The file is there and mpv knows its format, but could not read or play anything in it.
  return PlayFailure::kBrokenFile;
}

}  // namespace

MpvPlayer::MpvPlayer(std::function<mpv_handle*()> make_handle, MpvOutputs outputs)
    : make_handle_(std::move(make_handle)), outputs_(outputs) {}

MpvPlayer::~MpvPlayer() {
  // The render context belongs to the handle and must go before it.
  if (widget_) widget_->release();
  if (window_) window_->release();
  if (handle_ == nullptr) return;
  // No wake-up can run once this returns; queued drains die with the object.
  mpv_set_wakeup_callback(handle_, nullptr, nullptr);
  mpv_terminate_destroy(handle_);
}

bool MpvPlayer::ensure_handle() {
  if (handle_ != nullptr) return true;
  if (!make_handle_) return false;
  handle_ = make_handle_();
  if (handle_ == nullptr) return false;
  // What the program set before there was a player to tell, before mpv reports its own.
  double volume = volume_;
  mpv_set_property(handle_, "volume", MPV_FORMAT_DOUBLE, &volume);
  int mute = muted_ ? 1 : 0;
  mpv_set_property(handle_, "mute", MPV_FORMAT_FLAG, &mute);
  for (const auto& watched : kWatched) {
    mpv_observe_property(handle_, static_cast<uint64_t>(watched.id), watched.name, watched.format);
  }
  // mpv calls this from its own threads; the events are collected on this object's thread.
  mpv_set_wakeup_callback(
      handle_, [](void* self) { static_cast<MpvPlayer*>(self)->schedule_events(); }, this);
  if (widget_) widget_->set_handle(handle_);
  if (window_) window_->set_handle(handle_);
  schedule_events();
  return true;
}

void MpvPlayer::schedule_events() {
  if (drain_queued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { drain_events(); }, Qt::QueuedConnection);
}

void MpvPlayer::drain_events() {
  drain_queued_ = false;
  for (;;) {
    const mpv_event* event = mpv_wait_event(handle_, 0);
    if (event->event_id == MPV_EVENT_NONE) break;
    handle_event(*event);
  }
}

void MpvPlayer::handle_event(const mpv_event& event) {
  switch (event.event_id) {
    case MPV_EVENT_PROPERTY_CHANGE:
      handle_property(event.reply_userdata, *static_cast<const mpv_event_property*>(event.data));
      break;
    case MPV_EVENT_SET_PROPERTY_REPLY:
      if (event.reply_userdata == kPauseSetTag && pause_sets_in_flight_ > 0) {
        --pause_sets_in_flight_;
      }
      break;
    case MPV_EVENT_GET_PROPERTY_REPLY: {
      // An answer about an item replaced since, or a reading mpv does not have yet (it reports
      // that as a change later), changes nothing.
      const uint64_t id = event.reply_userdata;
      if (event.error < 0 || (id & kAnswerTag) == 0) break;
      if (static_cast<int64_t>((id & ~kAnswerTag) >> 8) != entry_id_) break;
      if (facts_.phase != MpvLoadPhase::kLoading && !loaded()) break;
      handle_property(id & 0xFF, *static_cast<const mpv_event_property*>(event.data));
      break;
    }
    case MPV_EVENT_START_FILE: {
      const auto* start = static_cast<const mpv_event_start_file*>(event.data);
      if (start->playlist_entry_id == entry_id_ && facts_.phase == MpvLoadPhase::kLoading) {
        reset_item_readings();
        facts_.idle_active = false;
        notify(PlayerEvent::kOpening);
      }
      break;
    }
    case MPV_EVENT_FILE_LOADED:
      // Only one item is ever in mpv's playlist, so this is the current one unless it was
      // stopped or replaced meanwhile (then the phase says so). A seek asked for while loading is
      // done now, before playback begins.
      if (facts_.phase != MpvLoadPhase::kLoading) break;
      file_open_ = true;
      ask_readings_again();
      if (pending_seek_ >= 0) seek_to(pending_seek_);
      notify(PlayerEvent::kLoaded);
      break;
    case MPV_EVENT_PLAYBACK_RESTART:
      // The first picture and sound are ready: the item is loaded and plays (or waits paused).
      if (!video_off_ && facts_.phase != MpvLoadPhase::kStopped) ++pictures_started_;
      if (facts_.phase == MpvLoadPhase::kLoading) {
        facts_.phase = MpvLoadPhase::kLoaded;
        facts_.idle_active = false;
        time_pos_ = pending_seek_ >= 0 ? pending_seek_ : restart_at_;
        pending_seek_ = -1;
        // The bitrates are known from the first packets on.
        ask_readings_again();
        queue_next();
        notify(PlayerEvent::kFirstFrame);
      } else if (loaded()) {
        notify(PlayerEvent::kSeekDone);
      }
      break;
    case MPV_EVENT_END_FILE: {
      const auto* end = static_cast<const mpv_event_end_file*>(event.data);
      if (end->playlist_entry_id != entry_id_) break;  // an item replaced earlier
      if (end->reason == MPV_END_FILE_REASON_ERROR) {
        failed(end->error);
      } else if (end->reason == MPV_END_FILE_REASON_EOF && loaded()) {
        // With keep-open the item stays open at its end; should mpv close it anyway, it still
        // ended normally.
        reached_end();
      }
      break;
    }
    default:
      break;
  }
}

void MpvPlayer::ask_readings_again() {
  for (const Watched id : kAskedAgain) {
    const WatchedProperty& watched = watched_property(id);
    mpv_get_property_async(handle_, answer_id(entry_id_, id), watched.name, watched.format);
  }
}

void MpvPlayer::handle_property(uint64_t watched, const mpv_event_property& property) {
  switch (static_cast<Watched>(watched)) {
    case Watched::kIdleActive:
      facts_.idle_active = flag_of(property);
      // mpv let go of an item it had open without the program asking (its end is kept open, a
      // failure is told as such): nothing plays any more.
      if (facts_.idle_active && file_open_ && !facts_.eof_reached &&
          (loaded() || facts_.phase == MpvLoadPhase::kLoading)) {
        notify(PlayerEvent::kIdle);
      }
      break;
    case Watched::kPause:
      // While the program's own play or pause is on its way, a change mpv reports is an older
      // one (a quick pause and play would otherwise read as paused for a moment, and a press
      // then would play instead of pausing).
      if (pause_sets_in_flight_ == 0) facts_.pause = flag_of(property);
      break;
    case Watched::kPausedForCache:
      facts_.paused_for_cache = flag_of(property);
      break;
    case Watched::kSeeking:
      facts_.seeking = flag_of(property);
      break;
    case Watched::kEofReached:
      if (!flag_of(property)) {
        facts_.eof_reached = false;
        end_held_ = false;
      } else if (loaded()) {
        reached_end();
      }
      break;
    case Watched::kTimePos:
      time_pos_ = double_of(property);
      break;
    case Watched::kDuration:
      duration_ = double_of(property);
      break;
    case Watched::kVolume:
      if (property.format == MPV_FORMAT_DOUBLE) {
        volume_ = std::clamp(static_cast<int>(std::lround(double_of(property))), 0, 100);
      }
      break;
    case Watched::kMute:
      if (property.format == MPV_FORMAT_FLAG) muted_ = flag_of(property);
      break;
    case Watched::kCacheSpeed:
      cache_speed_ =
          property.format == MPV_FORMAT_INT64 ? *static_cast<int64_t*>(property.data) : 0;
      break;
    case Watched::kVideoBitrate:
      video_bitrate_ = double_of(property);
      break;
    case Watched::kAudioBitrate:
      audio_bitrate_ = double_of(property);
      break;
    case Watched::kVoConfigured:
      vo_configured_ = flag_of(property);
      break;
    case Watched::kDemuxerCacheState: {
      cache_end_ = 0;
      cache_complete_ = false;
      if (property.format != MPV_FORMAT_NODE) break;
      const auto& state = *static_cast<const mpv_node*>(property.data);
      if (const mpv_node* end = member(state, "cache-end");
          end != nullptr && end->format == MPV_FORMAT_DOUBLE) {
        cache_end_ = end->u.double_;
      }
      if (const mpv_node* eof = member(state, "eof");
          eof != nullptr && eof->format == MPV_FORMAT_FLAG) {
        cache_complete_ = eof->u.flag != 0;
      }
      break;
    }
  }
}

void MpvPlayer::failed(int mpv_error) {
  notify(PlayerEvent::kFailed);
  facts_.phase = MpvLoadPhase::kFailed;
  last_error_ = mpv_error_string(mpv_error);
  failure_ = failure_of(mpv_error, loaded_target_);
  loaded_address_.clear();
  if (next_queued_) {
    // mpv goes on to the next entry after a failed one; the program decides what follows.
    const char* arguments[] = {"stop", nullptr};
    command_async(arguments);
    next_queued_ = false;
  }
}

void MpvPlayer::reached_end() {
  if (facts_.eof_reached) return;
  facts_.eof_reached = true;
  notify(PlayerEvent::kEnded);
  end_held_ = !end_seen_;
}

int MpvPlayer::reading_position() {
  if (!loaded()) return 0;
  if (facts_.eof_reached) {
    // The end not read by the monitor before is its reading once; then the finished item's 0.
    const bool held = end_held_;
    end_held_ = false;
    return held ? duration() : 0;
  }
  const int seconds = position();
  const int length = duration();
  if (seconds > 0 && length > 0 && length - 2 < seconds) end_seen_ = true;
  return seconds;
}

void MpvPlayer::reset_item_readings() {
  time_pos_ = 0;
  duration_ = 0;
  video_bitrate_ = 0;
  audio_bitrate_ = 0;
  cache_speed_ = 0;
  cache_end_ = 0;
  cache_complete_ = false;
  facts_.eof_reached = false;
  facts_.seeking = false;
  facts_.paused_for_cache = false;
  end_seen_ = false;
  end_held_ = false;
}

void MpvPlayer::set_flag_async(const char* name, bool value) {
  if (handle_ == nullptr) return;
  int flag = value ? 1 : 0;
  const bool pause = std::string_view(name) == "pause";
  if (mpv_set_property_async(handle_, pause ? kPauseSetTag : 0, name, MPV_FORMAT_FLAG, &flag) >=
          0 &&
      pause) {
    ++pause_sets_in_flight_;
  }
}

void MpvPlayer::command_async(const char** arguments) {
  if (handle_ == nullptr) return;
  mpv_command_async(handle_, 0, arguments);
}

void MpvPlayer::set_mute(bool mute) {
  muted_ = mute;
  set_flag_async("mute", mute);
}

void MpvPlayer::set_full_screen(bool full_screen) {
  full_screen_ = full_screen;
  emit full_screen_requested(full_screen);
}

void MpvPlayer::set_volume(int volume) {
  volume_ = std::clamp(volume, 0, 100);
  if (handle_ == nullptr) return;  // told when the player starts
  double value = volume_;
  mpv_set_property_async(handle_, 0, "volume", MPV_FORMAT_DOUBLE, &value);
}

int MpvPlayer::duration() const {
  return loaded() ? whole_seconds(duration_, true) : 0;
}

int MpvPlayer::position() const {
  if (!loaded() || facts_.eof_reached) return 0;
  return whole_seconds(time_pos_, false);
}

int MpvPlayer::transfer_rate() const {
  if (!loaded() || !facts_.network || cache_speed_ <= 0) return 0;
  return static_cast<int>(std::min<int64_t>(cache_speed_ / 1024, 2000000000));
}

int MpvPlayer::stream_rate() const {
  if (!loaded()) return 0;
  const double bits = std::max(video_bitrate_, 0.0) + std::max(audio_bitrate_, 0.0);
  return static_cast<int>(std::min(std::lround(bits / 1000), 2000000000L));
}

int MpvPlayer::download_permille() const {
  if (address_.empty() || loaded_address_ != address_) return 0;
  if (is_local_address(address_)) return facts_.phase == MpvLoadPhase::kFailed ? 0 : 1000;
  if (!loaded()) return 0;
  if (cache_complete_) return 1000;
  if (duration_ <= 0 || cache_end_ <= 0) return 0;
  return std::clamp(static_cast<int>(cache_end_ / duration_ * 1000), 0, 999);
}

void MpvPlayer::set_position(int seconds) {
  seconds = std::max(seconds, 0);
  if (facts_.phase == MpvLoadPhase::kLoading) {
    // Reads back once playback begins; mpv takes seeks as soon as the file is open.
    pending_seek_ = seconds;
    if (file_open_) seek_to(seconds);
    return;
  }
  if (!loaded()) return;
  seek_to(seconds);
  time_pos_ = seconds;
  if (duration_ > 0 && seconds < duration_) {
    // mpv pauses at the end it keeps open; a seek back from there plays on.
    if (facts_.eof_reached && facts_.pause) {
      facts_.pause = false;
      set_flag_async("pause", false);
    }
    facts_.eof_reached = false;
    end_held_ = false;
    end_seen_ = false;
  }
}

void MpvPlayer::seek_to(int seconds) {
  const std::string target = std::to_string(seconds);
  const char* arguments[] = {"seek", target.c_str(), "absolute", nullptr};
  command_async(arguments);
}

void MpvPlayer::play_from(const std::string& address, int seconds) {
  address_ = address;
  if (address_.empty()) return;
  start_item(std::max(seconds, 0));
}

void MpvPlayer::start_item(int seconds) {
  ++item_;
  start_at_ = seconds;
  loaded_address_ = address_;
  // The prepared next item is playing now; nothing follows it until the program says so.
  if (address_ == next_address_) next_address_.clear();
  load(address_, seconds, false);
}

void MpvPlayer::notify(PlayerEvent event) {
  events_.emplace_back(item_, event);
  if (delivery_queued_) return;
  delivery_queued_ = true;
  QMetaObject::invokeMethod(
      this, [this] { deliver_events(); }, Qt::QueuedConnection);
}

void MpvPlayer::deliver_events() {
  delivery_queued_ = false;
  std::vector<std::pair<uint64_t, PlayerEvent>> events;
  events.swap(events_);
  for (const auto& [item, event] : events) {
    // A listener's answer may start another item: the rest belongs to the one before.
    if (item != item_) continue;
    if (listener_ != nullptr) listener_->player_event(event);
  }
}

void MpvPlayer::play() {
  if (address_.empty()) return;
  const bool same_item =
      address_ == loaded_address_ && (facts_.phase == MpvLoadPhase::kLoading || loaded());
  if (!same_item) {
    start_item(0);
    return;
  }
  if (loaded() && facts_.eof_reached) {
    seek_to(0);
    time_pos_ = 0;
    facts_.eof_reached = false;
    end_held_ = false;
    end_seen_ = false;
  }
  facts_.pause = false;
  set_flag_async("pause", false);
}

void MpvPlayer::load(const std::string& target, double start, bool paused) {
  if (!ensure_handle()) {
    // The player's library was found at start but cannot be started now.
    reset_item_readings();
    loaded_target_ = target;
    facts_.phase = MpvLoadPhase::kFailed;
    last_error_ = "no-player";
    failure_ = PlayFailure::kUnsupportedFormat;
    notify(PlayerEvent::kFailed);
    return;
  }
  // Synchronous on purpose: loadfile only queues the item and answers with its playlist entry,
  // which tells this item's file events from those of the item it replaces.
  int pause = paused ? 1 : 0;
  mpv_set_property(handle_, "pause", MPV_FORMAT_FLAG, &pause);
  // mpv cannot open its video output before the widget has a render context; it would drop the
  // picture for the whole item. Until then the item starts without video, and `render_ready`
  // opens it again with the picture.
  // A native video window is handed to mpv now; without one (not made, or gone) mpv would open
  // a window of its own, so the item plays without picture.
  switch (outputs_.video) {
    case MpvVideoOutput::kWidget:
      video_off_ = !(widget_ && widget_->rendering());
      break;
    case MpvVideoOutput::kWindow:
      video_off_ = !(window_ && window_->attach_output());
      if (!video_off_) keep_video_output_open();
      break;
    case MpvVideoOutput::kNone:
      video_off_ = false;
      break;
  }
  if (outputs_.video != MpvVideoOutput::kNone) {
    mpv_set_property_string(handle_, "vid", video_off_ ? "no" : "auto");
  }
  const std::string from = "start=" + std::to_string(start);
  const char* arguments[] = {"loadfile", target.c_str(), "replace",
                             start > 0 ? from.c_str() : nullptr, nullptr};
  mpv_node result{};
  entry_id_ = 0;
  if (mpv_command_ret(handle_, arguments, &result) >= 0) {
    if (const mpv_node* id = member(result, "playlist_entry_id");
        id != nullptr && id->format == MPV_FORMAT_INT64) {
      entry_id_ = id->u.int64;
    }
    mpv_free_node_contents(&result);
  }
  reset_item_readings();
  loaded_target_ = target;
  facts_.pause = paused;
  facts_.network = is_network_address(target);
  facts_.phase = MpvLoadPhase::kLoading;
  file_open_ = false;
  pending_seek_ = -1;
  restart_at_ = start;
  last_error_.clear();
  failure_ = PlayFailure::kNone;
  // Loading replaced mpv's playlist; the prepared next item goes behind this one once it plays.
  next_queued_ = false;
}

void MpvPlayer::queue_next() {
  if (handle_ == nullptr) return;
  if (next_queued_) {
    const char* clear[] = {"playlist-clear", nullptr};
    mpv_command(handle_, clear);
    next_queued_ = false;
  }
  // Only what mpv reads itself is opened ahead; the engine's addresses are the engine's.
  if (next_address_.empty() || is_engine_address(next_address_) ||
      !is_network_address(next_address_)) {
    return;
  }
  if (!loaded()) return;
  const char* append[] = {"loadfile", next_address_.c_str(), "append", nullptr};
  next_queued_ = mpv_command(handle_, append) >= 0;
}

PlayFailure MpvPlayer::failure() const {
  return failure_;
}

PlayState MpvPlayer::play_state() const {
  return derive_play_state(facts_);
}

PlayerReadings MpvPlayer::readings() {
  PlayerReadings readings;
  readings.address = media_address();
  readings.state = play_state();
  readings.failure = failure();
  readings.position = reading_position();
  readings.duration = duration();
  readings.transfer_rate = transfer_rate();
  readings.stream_rate = stream_rate();
  readings.download_permille = download_permille();
  return readings;
}

void MpvPlayer::prepare_next(const std::string& address) {
  next_address_ = address;
  queue_next();
}

void MpvPlayer::pause() {
  if (facts_.phase != MpvLoadPhase::kLoading && !loaded()) return;
  facts_.pause = true;
  set_flag_async("pause", true);
}

void MpvPlayer::stop() {
  if (facts_.phase == MpvLoadPhase::kNothing) return;
  // Synchronous like loadfile: an asynchronous stop could reach mpv after the load of the next
  // item that follows it at once (a second start's file, a history entry) and end that item.
  const char* arguments[] = {"stop", nullptr};
  if (handle_ != nullptr) mpv_command(handle_, arguments);
  // Whatever the stopped item still had to tell is moot.
  ++item_;
  facts_.phase = MpvLoadPhase::kStopped;
  failure_ = PlayFailure::kNone;
  next_queued_ = false;  // mpv's stop clears its playlist (an opened next stream stays open)
  loaded_address_.clear();
  entry_id_ = 0;
  file_open_ = false;
  pending_seek_ = -1;
  reset_item_readings();
}

QWidget* MpvPlayer::video_widget() {
  switch (outputs_.video) {
    case MpvVideoOutput::kWidget:
      if (!widget_) {
        widget_ = new MpvVideoWidget(handle_);
        connect(widget_, &MpvVideoWidget::render_ready, this, &MpvPlayer::render_ready);
      }
      return widget_;
    case MpvVideoOutput::kWindow:
      if (!window_) window_ = new MpvVideoWindow(handle_);
      return window_;
    case MpvVideoOutput::kNone:
      break;
  }
  return nullptr;
}

void MpvPlayer::keep_video_output_open() {
  if (output_held_) return;
  output_held_ = mpv_set_property_string(handle_, "force-window", "yes") >= 0;
}

int MpvPlayer::frames_shown() const {
  switch (outputs_.video) {
    case MpvVideoOutput::kWidget:
      return widget_ ? widget_->frames_drawn() : 0;
    case MpvVideoOutput::kWindow:
      return window_ && vo_configured_ ? pictures_started_ : 0;
    case MpvVideoOutput::kNone:
      break;
  }
  return 0;
}

void MpvPlayer::render_ready() {
  // An item that started before the widget could draw plays without video. Selecting the video
  // track at this point can stall mpv 0.35 when its cache already holds the whole file, so the
  // item is opened again where it is, with the picture.
  if (!video_off_ || facts_.eof_reached) return;
  if (facts_.phase != MpvLoadPhase::kLoading && !loaded()) return;
  const double at = facts_.phase == MpvLoadPhase::kLoading ? restart_at_ : time_pos_;
  load(loaded_target_, at, facts_.pause);
}

}  // namespace pelmora::platform::qt
