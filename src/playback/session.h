#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "lists/list_files.h"
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

// What the session asks of the window and the desktop around it.
class SessionHost {
 public:
  virtual ~SessionHost() = default;
  virtual void balloon(const std::string& text) = 0;
  virtual void set_status(const std::string& text) = 0;
  // The status monitor's timer, the end-of-playback timer and the retry timer.
  virtual void set_monitor_running(bool running) = 0;
  virtual bool monitor_running() const = 0;
  virtual void start_end_timer() = 0;
  virtual void start_retry_timer(bool running) = 0;
  virtual void show_next_notice() = 0;
  // A service page for the user: the episode list pane, the web player pane.
  virtual void show_episode_list(const std::string& url) = 0;
  virtual void show_web_player(const std::string& url) = 0;
  virtual void set_title(const std::string& title) = 0;
  // Whether the engine's terminal runs; starting it from the player folder (learned from the
  // settings first when `read_settings`); giving the event loop a turn.
  virtual void start_terminal(bool read_settings) = 0;
  virtual void shut_down() = 0;
};

// What the status line says when a step asks for an episode the programme does not have.
inline constexpr const char* kNoLaterEpisode = "已经是最后一集了";
inline constexpr const char* kNoEarlierEpisode = "已经是第一集了";

class Session {
 public:
  Session(platform::PlayerControl* player, platform::HttpFetch& http, lists::ListPlace lists,
          settings::Store& settings, std::string service_url, SessionHost& host);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

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

  // Starts an item: the next-episode state begins afresh, requests still on their way for the
  // item before are dropped, the player (or the web player page) starts, the lists learn of it.
  void start(Start start);
  // An entry of another kind from the network list: the episode list page plays it with its own
  // play link; until then its episode is the one on view and nothing of it is saved.
  void mark_web_episode(Episode episode) { current_ = WebEpisode{std::move(episode)}; }
  // Stops the player and saves where the item stood in its history list.
  void stop();
  // Saves where the item stood at the last tick in its history list, and lets it play on (the
  // computer is about to sleep).
  void save_position();
  // Resuming after a pause seeks back to where it stood once it plays.
  void resume_after_pause() { resume_done_ = false; }

  // The status monitor's step. `shutdown_armed` tells the end-of-item balloons which to say.
  TransportView tick(bool shutdown_armed);
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

 private:
  void drop_requests();
  void next_found(const web::EpisodeKey& key, const std::string& next_episode,
                  const std::string& body);
  std::string resource_url(std::string_view id, std::string_view v, std::string_view episode) const;

  platform::PlayerControl* player_;
  lists::ListPlace lists_;
  settings::Store& settings_;
  std::string service_url_;
  SessionHost& host_;

  CurrentItem current_;
  NextEpisode next_;
  int resume_pos_ = 0;  // seconds to seek to once after a start, 0 for none
  bool resume_done_ = false;
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
