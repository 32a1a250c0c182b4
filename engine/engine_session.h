#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_words.h"
#include "qvod_address.h"

namespace pelmora::engine {

struct EngineOptions {
  std::string download_folder;  // where opened items are saved
  std::string state_folder;     // resume data and metadata of the items, across restarts
  std::string service_url;      // ends with "/"
  bool web_seed = true;         // fetch from the service's web seed
  bool peers = true;            // announce to the service's tracker and exchange peers
  std::string listen_interface = "127.0.0.1";
  int listen_port = 0;  // 0: any free port
  // An item that has found no source (no metadata, or no byte from anyone) after this long is
  // in error "no-source".
  std::chrono::milliseconds source_timeout{30000};
  // How long the metadata is awaited from peers before it is asked of the service.
  std::chrono::milliseconds metadata_grace{300};
  int download_limit = 0;  // bytes per second for each item, 0: none
  // A playing item that starts from nothing fetches only what its readers ask for, at most a
  // few pieces, until this long after its first read: the player's first frame does not share
  // the line with the rest of the file.
  std::chrono::milliseconds startup_time{1000};
};

enum class Role { play, next, background, seed };

struct ItemStatus {
  std::string state;  // connecting, metadata, buffering, downloading, finished, error
  int permille = 0;
  int rate = 0;  // KB/s
  std::int64_t downloaded = 0;
  int peers = 0;  // connections, the web seed's included  // payload bytes received since this
                  // terminal started
  std::string error;
};

// What the stream server needs of an item.
struct StreamTarget {
  std::string hash;
  std::string name;
  std::uint64_t size = 0;
};

// The outcome of waiting for bytes at a position of an item's file.
struct Readable {
  std::string path;          // the file to read them from
  std::uint64_t length = 0;  // verified bytes from the position on (0: none, give up)
  std::string error;         // with none: the item's error, when that is why
};

// The outcome of an open: the item's stream token, or why the address was refused.
struct Opened {
  std::string token;
  std::string error;
};

// The terminal's one BitTorrent session and the items it holds. Every member may be called from
// any thread.
class Engine {
 public:
  explicit Engine(EngineOptions options);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Starts the session and takes up the items of earlier runs. False when it cannot listen.
  bool start();
  // Saves every item's resume data and ends the session.
  void stop();
  int listen_port() const;

  // Opens the item of `address` (adding it when new) in `role`. An address whose SIZE its
  // item's verified metadata contradicts is refused ("metadata-mismatch") and changes nothing:
  // a wrong address never blocks the right one.
  Opened open(const QvodAddress& address, Role role);
  std::optional<ItemStatus> status(const std::string& hash);
  // The item falls back to the background; it keeps downloading and sharing.
  bool close(const std::string& hash);
  // Seeds every regular file in `folder`; returns how many files are being shared.
  int seed_folder(const std::string& folder);
  void set_service_url(const std::string& url);

  std::optional<StreamTarget> stream_target(const std::string& token);

  // A reader of an item's stream. Its position steers the piece deadlines.
  int add_reader(const std::string& hash);
  void remove_reader(const std::string& hash, int reader);
  // Waits until the piece holding `offset` has passed its hash and returns how many verified
  // bytes follow from there (at most `wanted`). Verified bytes are given also while the item is
  // in error; gives 0 (with the error) when the item fails before the piece is there, and 0 when
  // the engine stops or `keep_waiting` says no.
  Readable wait_readable(const std::string& hash, int reader, std::uint64_t offset,
                         std::uint64_t wanted, const std::function<bool()>& keep_waiting);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

std::optional<Role> parse_role(std::string_view text);

}  // namespace pelmora::engine
