#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "lists/list_files.h"
#include "platform/controls.h"
#include "platform/http_fetch.h"
#include "platform/player_control.h"
#include "web/link_grammar.h"

namespace pelmora::settings {
class Store;
}

// The playback session: what plays, what follows it, and every step that starts, watches, stops
// and ends an item. The window's handlers adapt their events to it and draw what it returns.
namespace pelmora::playback {

// A network episode as the links and the service name it: the key text exactly as it arrived
// (it is sent back to the service in the episode list page's address) and its parsed fields.
struct Episode {
  std::string text;  // `id`-`v`-`v1`-`name`
  web::EpisodeKey key;
  static Episode of(std::string text);
  // The episode number, when it is a whole number.
  std::optional<std::int64_t> number() const;
};

// What plays now. A local file (opened, handed over, or from the local list) saves its position
// under its path in the local list; a network episode under its programme identifier in the
// network list; a web-kind episode plays as a service page and saves nothing.
struct NoItem {};
struct LocalFile {
  std::string path;
};
struct NetworkEpisode {
  Episode episode;
  std::string list_id;  // the network list entry the position goes to (a number, as text)
};
struct WebEpisode {
  Episode episode;
};
using CurrentItem = std::variant<NoItem, LocalFile, NetworkEpisode, WebEpisode>;

// The episode after the current network episode.
struct NextEpisode {
  enum class State {
    kNotAsked,   // nothing known yet (also after the service said "not yet")
    kNone,       // the service has no next episode
    kFailed,     // the request failed; a retry follows after `retry_ticks` reach their count
    kReady,      // its address and play link are known
    kBuffering,  // handed to the player to buffer ahead
  };
  State state = State::kNotAsked;
  std::string address;         // kReady, kBuffering: the play address the player buffers
  std::string play_link;       // kReady, kBuffering: the "eeqvod://" link that plays it
  bool retry_waiting = false;  // kFailed: the retry timer runs
  int retry_ticks = 0;
  // A play link is known (ready or buffering).
  bool prepared() const { return state == State::kReady || state == State::kBuffering; }
};

// One start of an item: what it is, its title, where it resumes, and what the history lists
// learn of it.
struct Start {
  CurrentItem item;
  std::string address;  // what the player plays (empty for a web-kind episode)
  std::string title;    // the transport bar's title
  int resume = 0;       // seconds to seek to once it plays; 0 starts at the beginning
  // The engine's terminal is started first when it is not running: with the folder from the
  // settings when the window does not know it yet, or only with a folder already known.
  enum class Terminal { kLeave, kFromSettings, kIfKnown };
  Terminal terminal = Terminal::kLeave;
  // Recorded at the top of a history list as it starts.
  struct NetworkRecord {
    std::int64_t id = 0;
    std::string name, label, address;
    std::int64_t v = 0, v1 = 0;
  };
  std::optional<NetworkRecord> network_record;
  bool local_record = false;  // the file's path under its name in the local list
  std::string web_page;       // a web-kind episode: the service page that plays it
  std::string episode_list;   // the service's episode list page to show, if any
};

// How the play / pause button follows the player at a tick.
enum class PlayButton {
  kUnchanged,
  kShowPause,      // playing: offers pause, with its cell
  kOfferPlay,      // ready, stopped or paused: offers play (the cell stays)
  kOfferPlayCell,  // paused: offers play, with its cell
};

// What the transport shows after a tick of the status monitor.
struct TransportView {
  bool loaded = false;                // an address is set; nothing below counts otherwise
  bool held = false;                  // the end is near and balloons are off: the tick stops there
  bool picture = false;               // the player's picture shows (else the advert panel)
  bool paused = false;                // the player holds a paused frame
  std::optional<std::string> status;  // the status line, when it changes
  PlayButton play_button = PlayButton::kUnchanged;
  bool next_notice_off = false;  // the "next episode" notice goes away
  int position = 0;
  int duration = 0;
  int downloaded_permille = 0;
};

// The timers the session runs its steps on. They are controls of the window (the backend drives
// them, and a test's virtual clock), handed to the session, which alone starts and stops them.
struct SessionTimers {
  platform::Timer& monitor;     // the status monitor, once a second; its tick is the window's
  platform::Timer& end;         // the end step, two seconds after an item's end
  platform::Timer& retry;       // the retry of a failed next-episode fetch
  platform::Timer& load_watch;  // an item that has not begun some seconds after its start
};

// What the session asks of the window and the desktop around it.
class SessionHost {
 public:
  virtual ~SessionHost() = default;
  virtual void balloon(const std::string& text) = 0;
  virtual void set_status(const std::string& text) = 0;
  virtual void show_next_notice() = 0;
  // A service page for the user: the episode list pane, the web player pane.
  virtual void show_episode_list(const std::string& url) = 0;
  virtual void show_web_player(const std::string& url) = 0;
  virtual void set_title(const std::string& title) = 0;
  // Whether the engine's terminal runs; starting it from the player folder (learned from the
  // settings first when `read_settings`); giving the event loop a turn.
  virtual void start_terminal(bool read_settings) = 0;
  virtual void shut_down() = 0;
  // Whether the computer is to shut down at the end of the item.
  virtual bool shutdown_armed() const = 0;
  // The player's picture in place of the advert panel (true: its first frame is out), or the
  // panel in its place (false).
  virtual void show_picture(bool picture) = 0;
  // What the player shows changed (an event of the player): the transport is drawn now, not at
  // the monitor's next tick.
  virtual void refresh() = 0;
  // The item's end step begins: nothing plays any more ("播放完毕").
  virtual void show_finished() = 0;
  // The end step's next episode: its play link is to be played now.
  virtual void play_link(const std::string& link) = 0;
};

// What the play / pause command did.
enum class Toggle { kNothing, kPlays, kPaused };

// What the status line says when a step asks for an episode the programme does not have.
inline constexpr const char* kNoLaterEpisode = "已经是最后一集了";
inline constexpr const char* kNoEarlierEpisode = "已经是第一集了";

class Session final : public platform::PlayerListener {
 public:
  // The session owns the player (null when none could be made) and the timers' handlers.
  Session(std::unique_ptr<platform::PlayerControl> player, platform::HttpFetch& http,
          lists::ListPlace lists, settings::Store& settings, std::string service_url,
          SessionHost& host, SessionTimers timers);
  ~Session() override;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The player, for the desktop's wiring of its picture; the program commands it through the
  // session only.
  platform::PlayerControl* player() const { return player_.get(); }
  bool has_player() const { return player_ != nullptr; }

  const CurrentItem& current() const { return current_; }
  const NextEpisode& next() const { return next_; }
  // The network or web-kind episode that plays, if any.
  const Episode* episode() const;
  // The history list the current item belongs to (its position is saved there): the network
  // list for network and web-kind episodes, the local list for files, none before anything.
  std::optional<std::string_view> list_of_current() const;
  bool web_kind() const { return std::holds_alternative<WebEpisode>(current_); }
  int resume_position() const { return resume_pos_; }
  int last_position() const { return last_position_; }
  // How many items have started so far: a new count is a new item, even of the same file.
  std::uint64_t starts() const { return starts_; }

  // ---- What the player does, as the transport and the desktop read it ----
  // An address is loaded in the player.
  bool loaded() const;
  // The address loaded in the player; empty when none.
  std::string address() const;
  platform::PlayState state() const;
  int position() const;
  int duration() const;
  int volume() const;
  // The end step is under way (the item ended and the next step follows).
  bool end_pending() const { return timers_.end.timer_enabled(); }

  // Starts an item: the next-episode state begins afresh, requests still on their way for the
  // item before are dropped, the player (or the web player page) starts at the item's resume
  // point, the lists learn of it.
  void start(Start start);
  // An entry of another kind from the network list: the episode list page plays it with its own
  // play link; until then its episode is the one on view and nothing of it is saved.
  void mark_web_episode(Episode episode) { current_ = WebEpisode{std::move(episode)}; }
  // Stops the player and saves where the item stood in its history list.
  void stop();
  // Saves where the item stood at the last tick in its history list, and lets it play on (the
  // computer is about to sleep).
  void save_position();

  // ---- Commands of the transport ----
  // Play / pause: a paused, stopped or (after a stop) finished item plays, a playing one pauses;
  // nothing for a web-kind episode, nothing loaded, or a player still opening its item.
  Toggle toggle_pause();
  // Plays or pauses when it does not already.
  void play();
  void pause();
  // Seeks to `seconds` (within the item); any end step under way is called off.
  void seek(int seconds);
  // Seeks by `delta` seconds from the position: never before 0, and a seek past the end lands
  // two seconds before it.
  void seek_by(int delta);
  void set_volume(int percent);
  void set_mute(bool mute);
  void set_full_screen(bool full_screen);
  // The page the player shows as its advert area.
  void set_ad_page(const std::string& address);

  // The status monitor's step.
  TransportView tick();
  // The end-of-playback step, once the end timer ran out: the computer shuts down when that is
  // armed; otherwise a prepared next episode (or, after a failed fetch, the episode list page)
  // follows as `end_of_item` says. Returns the play link to play now, if any.
  std::optional<std::string> end_step(bool shutdown_armed);
  // The end of an item is announced (by the end step, or by the web player page): the next
  // episode plays, or the episode list page opens it, when the settings ask for automatic play.
  // Returns the play link to play now, if any.
  std::optional<std::string> end_of_item();

  // The next episode of the current network episode is asked for (when the settings ask to
  // buffer ahead). `then` runs once the reply has been acted on (or at once when nothing is
  // asked).
  void fetch_next(std::function<void()> then = {});
  // A tick of the retry timer of a failed fetch.
  void retry_tick();

  // The episode requests: play an episode the catalogue asked for, step to the previous or
  // next one. `found` gets the play link of the record the service answered.
  void search(const web::EpisodeKey& key, std::function<void(const std::string&)> found);
  bool can_step(bool backwards) const;
  void step(bool backwards, std::function<void(const std::string& play_link)> found,
            std::function<void()> finished);
  // The next episode's request is on its way.
  bool next_request_pending() const { return next_request_.pending(); }

  // The player's events.
  void player_event(platform::PlayerEvent event) override;

 private:
  void drop_requests();
  void next_found(const web::EpisodeKey& key, const std::string& next_episode,
                  const std::string& body);
  std::string resource_url(std::string_view id, std::string_view v, std::string_view episode) const;

  // The end timer ran out.
  void end_timer();
  // The load watch ran out before the player began the item.
  void not_begun();

  std::unique_ptr<platform::PlayerControl> player_;
  lists::ListPlace lists_;
  settings::Store& settings_;
  std::string service_url_;
  SessionHost& host_;
  SessionTimers timers_;

  CurrentItem current_;
  NextEpisode next_;
  int resume_pos_ = 0;  // where the item resumed, then where it stood at the last tick
  // The item was stopped by the user (a finished item plays again only after that).
  bool stopped_ = false;
  int last_position_ = 0;  // the position saved when the item stops
  std::uint64_t starts_ = 0;
  // Ticks that leave the status line to a message shown by a step.
  static constexpr int kStatusHoldTicks = 3;
  int status_hold_ = 0;

  // The service's answers, one of each kind in flight: an episode to play now, the next one to
  // prepare. A newer request of a kind drops the older; a new item drops both.
  platform::RequestSlot episode_request_;
  platform::RequestSlot next_request_;
};

}  // namespace pelmora::playback
