#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "failure_modes.h"
#include "torrent_shelf.h"
#include "tracker.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace pelmora::service {

// The four fields of "lib/wen.txt": exit recommendation flag, floating promotion flag, advert
// flag, latest version.
struct UpdateFields {
  std::string exit_recommendation = "0";
  std::string floating_promotion = "0";
  std::string advert = "0";
  std::string version = "3.0";
};
// Whether a field can be written into the update file without breaking its form.
bool usable_update_field(std::string_view field);

struct ServiceOptions {
  std::filesystem::path media_folder;
  UpdateFields update;
  std::string end_marker = "http://pelmora-end.invalid/";
  std::vector<FailureRule> failures;
  // How long a hanging resource request waits before answering after all; longer than the
  // client's whole-request time-out (15 s), and cut short when the service stops.
  std::chrono::milliseconds hang_time{20000};
  // The web seed ("qvod/NAME") sends bytes that are not the file's, to test that the engine
  // checks what it receives.
  bool corrupt_web_seed = false;
};

// What the service has been asked, in order, for tests to read (also as JSON at /_demo/seen).
struct ResourceRequest {
  std::string query;  // the raw query of "h.asp"
  std::string reply;  // the body sent, or "(500)" / "(hang)"
};
struct SeenRequests {
  std::vector<std::string> pings;  // the identifiers of "tj/tj.asp?id=", decoded
  std::vector<ResourceRequest> resource_requests;
  std::vector<std::string> searches;  // decoded search words
};

// The demo service: serves the catalogue, the client's service addresses and the media folder
// over HTTP on 127.0.0.1 only. One object serves once: start(), then stop() (or destruction),
// both from the thread that owns the object; the other members may be called from any thread,
// also while requests are being served.
class DemoService {
 public:
  explicit DemoService(ServiceOptions options, const Catalogue& catalogue = Catalogue::builtin());
  ~DemoService();
  DemoService(const DemoService&) = delete;
  DemoService& operator=(const DemoService&) = delete;

  // Binds 127.0.0.1:`port` (0: any free port) and serves on a thread of its own; returns once
  // requests are accepted. False when the port cannot be bound or the service has already run.
  bool start(int port = 0);
  // Stops serving: hanging requests end at once, running ones finish, the thread is joined.
  void stop();
  int port() const { return port_; }
  // "http://127.0.0.1:PORT/"
  std::string base_url() const;

  // Replaces the failure rules of the resource request. A rule for the episode asked for wins
  // over a rule for every episode.
  void set_failures(std::vector<FailureRule> rules);
  void set_failure(ReplyFailure mode, std::optional<EpisodeRef> episode = std::nullopt);
  void clear_failures();
  void set_update_fields(UpdateFields fields);

  // Switches the web seed's corruption on or off while the service runs.
  void set_web_seed_corrupt(bool corrupt);
  // The info-hash and size of the torrent of the media file `name` (waits for the torrents to
  // be made after start()); nothing for a file that is not in the media folder.
  std::optional<TorrentShelf::Entry> torrent_entry(const std::string& name);
  int tracker_peers(const std::string& info_hash) const { return tracker_.peer_count(info_hash); }

  SeenRequests seen() const;
  void clear_seen();

 private:
  void route();
  void resource_request(const httplib::Request& req, httplib::Response& res);
  void media(const httplib::Request& req, httplib::Response& res, bool web_seed);
  std::optional<ReplyFailure> failure_for(const std::optional<EpisodeRef>& episode) const;
  std::string seen_json() const;
  // Waits for the hang time; false when the service began to stop meanwhile.
  bool hang();

  const Catalogue& catalogue_;
  const std::filesystem::path media_folder_;
  const std::string end_marker_;
  const std::chrono::milliseconds hang_time_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  bool started_ = false;

  mutable std::mutex mutex_;
  std::condition_variable stopping_signal_;
  bool stopping_ = false;
  std::vector<FailureRule> failures_;
  UpdateFields update_;
  SeenRequests seen_;
  bool corrupt_web_seed_ = false;
  Tracker tracker_;
  std::unique_ptr<TorrentShelf> shelf_;
};

}  // namespace pelmora::service
