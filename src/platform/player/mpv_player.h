#pragma once

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/player/mpv_play_state.h"
#include "platform/player_control.h"

struct mpv_handle;
struct mpv_event;
struct mpv_event_property;
class QWidget;

namespace pelmora::platform::qt {

class MpvVideoWidget;
class MpvVideoWindow;

// Where the picture goes: drawn by mpv's render API into the player's video widget (any
// desktop), drawn by mpv itself into a native window inside the player's video widget (X11:
// the cheaper way, the program's window is not composed again for every frame), or nowhere
// (tests).
enum class MpvVideoOutput { kWidget, kWindow, kNone };
// Where the sound goes: the desktop's audio device, or nowhere (tests).
enum class MpvAudioOutput { kDevice, kNone };

struct MpvOutputs {
  MpvVideoOutput video = MpvVideoOutput::kWidget;
  MpvAudioOutput audio = MpvAudioOutput::kDevice;
  std::string log_file;  // mpv's own log, for diagnosis; empty: none
};

// The player control on libmpv. Every call returns at once: commands go to mpv asynchronously,
// and the readings come from properties mpv reports as they change, collected on the thread
// that made the player (the user-interface thread) whenever mpv wakes its event loop. A value
// that was just written (position, volume) reads back as written until mpv reports its own.
//
// Play loads the media address when it is not the one loaded (or the last item stopped, ended
// with an error or was never started) and otherwise resumes; after the end of an item it starts
// the item again from the beginning. An item that reaches its end stays open on its last frame
// (so that a seek back can go on with it) and reads as finished: state 0 with the address set,
// Position 0, Duration its length. So that the status monitor sees the end exactly once,
// `readings()` reports the end itself (position = Duration) once when none of its readings fell
// into the item's last two seconds before it ended (a short last second can fall between two
// status ticks). Position alone never answers for the end: it marks nothing, takes nothing
// away, and reads 0 once the item is finished, so that a seek or the desktop's media controls
// reading the last two seconds cannot hide the end from the monitor.
//
// An item that cannot be played reads as stopped (1), with `failure` saying why: the address
// could not be reached, no file is at the path, the format is unknown, or nothing in the file
// can be played.
//
// PrepareNext of an address mpv reads itself (http, https) puts it behind the current item in
// mpv's playlist: mpv opens it and fills its cache once the current item is read in full, and
// a later Play of that address takes the stream already opened. mpv never moves on to it by
// itself (keep-open=always): the program decides what follows.
//
// The download engine's addresses reach it already resolved to their stream (see the engine
// client's EngineStreamPlayer): this player knows nothing of the engine.
class MpvPlayer : public QObject, public PlayerControl {
  Q_OBJECT

 public:
  // `make_handle` makes the player's libmpv handle, initialised for `outputs` (null when it
  // cannot). The player makes it when its first item loads, not before: libmpv and the codec
  // libraries it pulls in take some 20 MiB, which a program that plays nothing does not hold.
  MpvPlayer(std::function<mpv_handle*()> make_handle, MpvOutputs outputs);
  ~MpvPlayer() override;
  MpvPlayer(const MpvPlayer&) = delete;
  MpvPlayer& operator=(const MpvPlayer&) = delete;

  std::string media_address() const override { return address_; }
  void set_media_address(const std::string& address) override { address_ = address; }
  void set_mute(bool mute) override;
  void set_full_screen(bool full_screen) override;
  int volume() const override { return volume_; }
  void set_volume(int volume) override;
  int duration() const override;
  int transfer_rate() const override;
  int position() const override;
  void set_position(int seconds) override;
  void play() override;
  void play_from(const std::string& address, int seconds) override;
  void set_listener(PlayerListener* listener) override { listener_ = listener; }
  void pause() override;
  void stop() override;
  PlayState play_state() const override;
  PlayFailure failure() const override;
  int stream_rate() const override;
  int download_permille() const override;
  PlayerReadings readings() override;
  void prepare_next(const std::string& address) override;
  void set_ad_page_address(const std::string& address) override { ad_page_address_ = address; }

  // The widget the picture is drawn into, made on the first call; the backend gives it a parent
  // (the area of the player on the main window). Null when the player was made without video.
  // Through the render API mpv can draw only once the widget has been shown: an item started
  // before that plays without picture and is opened again where it is (a moment of "preparing")
  // when the widget first shows, so the backend may keep the widget hidden until the item plays.
  // A native video window (MpvVideoOutput::kWindow) is given to mpv when an item starts, shown or
  // not; the backend hides it whenever something else is to be seen in its place.
  QWidget* video_widget();
  // Whether mpv's video output is open in the native window.
  bool video_output_open() const { return vo_configured_; }
  // A count that grows as pictures reach the screen: every frame drawn into the widget (render
  // API), or every start of the picture of a loaded item, also after a seek (native window:
  // mpv shows the frames itself). 0 before the first.
  int frames_shown() const;
  bool picture_shown() const { return frames_shown() > 0; }

  // What was last asked of full screen; the backend carries it out on the video widget's window
  // when `full_screen_requested` arrives.
  bool full_screen() const { return full_screen_; }
  bool muted() const { return muted_; }
  const std::string& prepared_next() const { return next_address_; }
  const std::string& ad_page_address() const { return ad_page_address_; }
  // The reason the last item failed to open, as mpv words it; empty when it did not fail.
  const std::string& last_error() const { return last_error_; }
  const MpvPlaybackFacts& facts() const { return facts_; }

 signals:
  // The program set FullScreen; emitted on every write, also when the value is unchanged.
  void full_screen_requested(bool full_screen);

 private:
  // Opens the media address as a new item from `seconds`.
  void start_item(int seconds);
  // Tells the listener of `event` for the current item, from the event loop (never from inside
  // a call of the player); an event of an item replaced or stopped before it is delivered goes.
  void notify(PlayerEvent event);
  void deliver_events();
  // Makes the handle if there is none yet; false when libmpv cannot be started.
  bool ensure_handle();
  void schedule_events();
  void drain_events();
  void handle_event(const mpv_event& event);
  // `watched` names the property by the id the player follows it with.
  void handle_property(uint64_t watched, const mpv_event_property& property);
  // Asks mpv for the current item's readings that an item before it may have had too (mpv
  // would not report them again); the answers arrive as events.
  void ask_readings_again();
  // Keeps mpv's video output in the native window open from the first item on, also between
  // items: opening it takes a few hundred milliseconds on a software renderer (a GL context and
  // the renderer's shaders), which a click on the next episode would wait for.
  void keep_video_output_open();
  // Opens `target` as the current item at `start` seconds, playing or paused.
  void load(const std::string& target, double start, bool paused);
  void reset_item_readings();
  // The item played to its end (mpv keeps it open there).
  void reached_end();
  // The position of `readings()`: the end once when it would otherwise go unseen (then the
  // finished item's 0); a reading in the item's last two seconds counts as the end seen.
  int reading_position();
  // Puts the prepared next address behind the current item in mpv's playlist, so that mpv
  // opens it ahead; removes whatever was there before.
  void queue_next();
  void failed(int mpv_error);
  void set_flag_async(const char* name, bool value);
  void command_async(const char** arguments);
  void seek_to(int seconds);
  void render_ready();
  bool loaded() const { return facts_.phase == MpvLoadPhase::kLoaded; }

  PlayerListener* listener_ = nullptr;
  // Items started so far: an event carries the count of its item.
  uint64_t item_ = 0;
  std::vector<std::pair<uint64_t, PlayerEvent>> events_;
  bool delivery_queued_ = false;
  int start_at_ = 0;  // where the current item starts, in seconds

  std::function<mpv_handle*()> make_handle_;
  mpv_handle* handle_ = nullptr;
  MpvOutputs outputs_;
  QPointer<MpvVideoWidget> widget_;
  QPointer<MpvVideoWindow> window_;
  bool vo_configured_ = false;  // mpv's video output is open (native window)
  int pictures_started_ = 0;    // playback (re)starts of items with picture (native window)
  bool output_held_ = false;    // mpv keeps its video output open between items
  std::atomic<bool> drain_queued_{false};

  std::string address_;         // MediaAddress as the program set it
  std::string loaded_address_;  // the MediaAddress of the item given to mpv
  std::string loaded_target_;   // what mpv was given for it
  std::string next_address_;
  std::string ad_page_address_;
  std::string last_error_;
  PlayFailure failure_ = PlayFailure::kNone;
  bool next_queued_ = false;  // the prepared next address is behind the item in mpv's playlist
  int64_t entry_id_ = 0;      // mpv's playlist entry of the current item
  bool video_off_ = false;    // the item was opened before the widget could draw
  double restart_at_ = 0;     // where the loading item starts
  bool file_open_ = false;    // mpv opened the loading item (it takes seeks from then on)
  int pending_seek_ = -1;     // a seek asked for while the item was still loading
  // Whether `readings()` read the item's last two seconds before its end; whether the end is
  // held for the next `readings()`.
  bool end_seen_ = false;
  bool end_held_ = false;

  MpvPlaybackFacts facts_;
  double time_pos_ = 0;
  double duration_ = 0;
  double video_bitrate_ = 0;
  double audio_bitrate_ = 0;
  int64_t cache_speed_ = 0;  // bytes per second
  double cache_end_ = 0;     // seconds of the item read ahead into the cache
  bool cache_complete_ = false;
  int volume_ = 100;
  bool muted_ = false;
  int pause_sets_in_flight_ = 0;  // the program's settings of "pause" mpv has not answered yet
  bool full_screen_ = false;
};

}  // namespace pelmora::platform::qt
