#include "demo_service.h"

#include <httplib.h>

#include <sys/socket.h>
#include <cstdio>

#include <fstream>

#include "escape_codec.h"
#include "media_files.h"
#include "pages.h"
#include "pipelined_server.h"
#include "query.h"

namespace pelmora::service {
namespace {

constexpr size_t kSeenLimit = 1000;  // entries kept per log; older ones are dropped
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kText = "text/plain; charset=utf-8";

void send_html(httplib::Response& res, std::string body) {
  res.set_content(body, kHtml);
}

template <typename T>
void keep(std::vector<T>& log, T entry) {
  if (log.size() >= kSeenLimit) log.erase(log.begin());
  log.push_back(std::move(entry));
}

std::string json_string(std::string_view text) {
  // Whatever arrived, the JSON holds valid UTF-8: undecodable bytes become U+FFFD.
  const std::string clean = codec::from_units(codec::to_units(text));
  std::string out = "\"";
  for (char c : clean) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04X", u);
      out += code;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string json_list(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + json_string(items[i]);
  return out + "]";
}

}  // namespace

bool usable_update_field(std::string_view field) {
  return field.find_first_of("=\r\n") == std::string_view::npos;
}

DemoService::DemoService(ServiceOptions options, const Catalogue& catalogue)
    : catalogue_(catalogue),
      media_folder_(std::move(options.media_folder)),
      end_marker_(std::move(options.end_marker)),
      hang_time_(options.hang_time),
      // Its own server kind: the web seed client sends its ranges back to back on one connection.
      server_(std::make_unique<PipelinedServer>()),
      failures_(std::move(options.failures)),
      update_(std::move(options.update)),
      corrupt_web_seed_(options.corrupt_web_seed) {
  // Enough workers for a browser's parallel connections plus a few hanging requests.
  server_->new_task_queue = [] { return new httplib::ThreadPool(24); };
  server_->set_keep_alive_timeout(2);
  // A web seed asks for the file in many ranges over one connection; the library's default of
  // five requests a connection would close it every few megabytes.
  server_->set_keep_alive_max_count(100000);
  // Headers and body go out as separate writes; without this every range asked for on a kept
  // connection waits for the peer's delayed acknowledgement (about 40 ms a request).
  server_->set_tcp_nodelay(true);
  // The library's default also sets SO_REUSEPORT, which lets a second service bind the same port
  // and take half of the requests; a busy port must make start() fail instead.
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  route();
}

DemoService::~DemoService() {
  stop();
}

bool DemoService::start(int port) {
  if (started_) return false;
  started_ = true;
  shelf_ = std::make_unique<TorrentShelf>(media_folder_);
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else {
    port_ = server_->bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (port_ <= 0) {
    port_ = 0;
    return false;
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() can only end a server that is already listening, so wait for it here.
  for (int waited = 0; !server_->is_running(); ++waited) {
    if (waited == 5000) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void DemoService::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stopping_signal_.notify_all();
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

std::string DemoService::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

void DemoService::set_failures(std::vector<FailureRule> rules) {
  std::lock_guard lock(mutex_);
  failures_ = std::move(rules);
}

void DemoService::set_failure(ReplyFailure mode, std::optional<EpisodeRef> episode) {
  set_failures({FailureRule{mode, episode}});
}

void DemoService::clear_failures() {
  set_failures({});
}

void DemoService::set_update_fields(UpdateFields fields) {
  std::lock_guard lock(mutex_);
  update_ = std::move(fields);
}

void DemoService::set_web_seed_corrupt(bool corrupt) {
  std::lock_guard lock(mutex_);
  corrupt_web_seed_ = corrupt;
}

std::optional<TorrentShelf::Entry> DemoService::torrent_entry(const std::string& name) {
  if (!shelf_) return std::nullopt;
  return shelf_->entry(name);
}

SeenRequests DemoService::seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

void DemoService::clear_seen() {
  std::lock_guard lock(mutex_);
  seen_ = {};
}

std::optional<ReplyFailure> DemoService::failure_for(
    const std::optional<EpisodeRef>& episode) const {
  std::lock_guard lock(mutex_);
  std::optional<ReplyFailure> for_all;
  for (const FailureRule& rule : failures_) {
    if (!rule.episode) {
      if (!for_all) for_all = rule.mode;
    } else if (episode && *rule.episode == *episode) {
      return rule.mode;
    }
  }
  return for_all;
}

bool DemoService::hang() {
  std::unique_lock lock(mutex_);
  return !stopping_signal_.wait_for(lock, hang_time_, [this] { return stopping_; });
}

void DemoService::route() {
  httplib::Server& s = *server_;
  s.Get("/", [this](const httplib::Request&, httplib::Response& res) {
    const Programme* first = catalogue_.programmes.empty() ? nullptr : &catalogue_.programmes[0];
    const bool missing =
        !first || first->sources.empty() ||
        find_media(media_folder_, clip_file(*first, first->sources[0], 1)).result !=
            MediaLookup::Result::found;
    send_html(res, pages::home(catalogue_, missing));
  });
  s.Get("/search.asp", [this](const httplib::Request& req, httplib::Response& res) {
    const std::string word =
        decode_query_text(query_value(raw_query(req.target), "searchword").value_or(""));
    {
      std::lock_guard lock(mutex_);
      keep(seen_.searches, word);
    }
    send_html(res, pages::search_results(catalogue_, word));
  });
  s.Get("/h.asp", [this](const httplib::Request& req, httplib::Response& res) {
    resource_request(req, res);
  });
  s.Get("/pp.htm", [this](const httplib::Request& req, httplib::Response& res) {
    const auto query = parse_episode_list_query(raw_query(req.target));
    std::string page = query ? pages::episode_list(catalogue_, *query) : std::string();
    if (page.empty()) {
      res.status = 404;
      page = pages::error(404, "没有这个节目");
    }
    send_html(res, std::move(page));
  });
  s.Get("/play.htm", [this](const httplib::Request& req, httplib::Response& res) {
    const auto play = parse_web_play_query(raw_query(req.target));
    if (!play) {
      res.status = 400;
      send_html(res, pages::error(400, "播放地址无效"));
      return;
    }
    send_html(res, pages::web_player(*play, end_marker_));
  });

  const auto fixed = [&s](const char* pattern, std::string body) {
    s.Get(pattern, [body](const httplib::Request&, httplib::Response& res) {
      res.set_content(body, kHtml);
    });
  };
  fixed("/tv/?", pages::tv(catalogue_));
  fixed("/tv/mp3\\.htm", pages::music(catalogue_));
  // A channel or a track, numbered by the "c" or "t" argument: 404 for any other.
  const auto numbered = [this, &s](const char* pattern, const char* key,
                                   std::string (*make)(const Catalogue&, int)) {
    s.Get(pattern, [this, key, make](const httplib::Request& req, httplib::Response& res) {
      const std::string_view raw = query_value(raw_query(req.target), key).value_or("");
      int number = 0;
      const bool digits = !raw.empty() && raw.size() < 4 &&
                          raw.find_first_not_of("0123456789") == std::string_view::npos;
      if (digits) number = std::stoi(std::string(raw));
      std::string page = digits ? make(catalogue_, number) : std::string();
      if (page.empty()) {
        res.status = 404;
        page = pages::error(404, "没有这个节目");
      }
      send_html(res, std::move(page));
    });
  };
  numbered("/tv/live\\.htm", "c", &pages::tv_channel);
  numbered("/tv/song\\.htm", "t", &pages::music_track);
  fixed("/novels/?", pages::novels());
  fixed("/apps/?", pages::apps());
  fixed("/player/?", pages::player_download());
  fixed("/about/?", pages::about());
  fixed("/js/ads/qvodad\\.html", pages::player_advert(catalogue_));
  fixed("/js/ads/fudong\\.html", pages::floating_promotion(catalogue_));
  fixed("/js/ads/tui\\.html", pages::exit_recommendation(catalogue_));
  fixed("/update/(update|setup)\\.exe", pages::installer_notice());

  s.Get("/lib/wen\\.txt", [this](const httplib::Request&, httplib::Response& res) {
    std::lock_guard lock(mutex_);
    res.set_content(update_.exit_recommendation + "====" + update_.floating_promotion +
                        "====" + update_.advert + "====" + update_.version + "\r\n",
                    kText);
  });
  s.Get("/tj/tj\\.asp", [this](const httplib::Request& req, httplib::Response& res) {
    const auto id = query_value(raw_query(req.target), "id");
    {
      std::lock_guard lock(mutex_);
      keep(seen_.pings, decode_query_text(id.value_or("")));
    }
    send_html(res,
              "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>ok</title></head>"
              "<body></body></html>\n");
  });
  s.Get("/media/(.*)",
        [this](const httplib::Request& req, httplib::Response& res) { media(req, res, false); });
  // The player's clips are also named under "qvod/": the client plays an address from its
  // history in the player only when the address names the player's kind.
  s.Get("/qvod/(.*)",
        [this](const httplib::Request& req, httplib::Response& res) { media(req, res, true); });
  // The player engine's sources besides the web seed above: a tracker and the metadata.
  s.Get("/announce", [this](const httplib::Request& req, httplib::Response& res) {
    res.set_content(tracker_.announce(raw_query(req.target), req.remote_addr),
                    "text/plain; charset=iso-8859-1");
  });
  s.Get("/torrents/([0-9A-Fa-f]{40})\\.torrent",
        [this](const httplib::Request& req, httplib::Response& res) {
          const auto torrent = shelf_ ? shelf_->torrent(req.matches[1]) : std::nullopt;
          if (!torrent) {
            res.status = 404;
            return;
          }
          res.set_content(*torrent, "application/x-bittorrent");
        });
  s.Get("/_demo/seen", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(seen_json(), "application/json; charset=utf-8");
  });

  s.set_post_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!req.path.starts_with("/media/") && !req.path.starts_with("/qvod/")) {
      res.set_header("Cache-Control", "no-store");
    }
  });
  s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty() || res.status == 416) return;
    res.set_content(pages::error(res.status, res.status == 404   ? "找不到页面"
                                             : res.status == 403 ? "禁止访问"
                                                                 : "出错了"),
                    kHtml);
  });
}

void DemoService::resource_request(const httplib::Request& req, httplib::Response& res) {
  const std::string query(raw_query(req.target));
  const auto episode = parse_resource_query(query);
  const auto failure = failure_for(episode);
  auto record = [&](std::string reply) {
    std::lock_guard lock(mutex_);
    keep(seen_.resource_requests, ResourceRequest{query, std::move(reply)});
  };
  if (failure == ReplyFailure::hang) {
    record("(hang)");
    if (!hang()) {
      res.status = 503;
      return;
    }
  } else if (failure) {
    std::string reply;
    switch (*failure) {
      case ReplyFailure::zero:
        reply = "0";
        break;
      case ReplyFailure::one:
        reply = "1";
        break;
      case ReplyFailure::garbage:
        reply = kGarbageReply;
        break;
      case ReplyFailure::server_error:
        res.status = 500;
        break;
      case ReplyFailure::empty:
      case ReplyFailure::hang:
        break;
    }
    record(res.status == 500 ? "(500)" : reply);
    if (res.status == 500) return;
    res.set_content(reply, kText);
    return;
  }

  std::string reply = "1";
  const Programme* programme = episode ? catalogue_.programme(episode->id) : nullptr;
  const Source* source = programme ? programme->source(episode->source) : nullptr;
  if (source && episode->episode >= 1 && episode->episode <= source->episodes) {
    // The player's episodes are the download engine's: the address names the clip's torrent,
    // which the tracker, the metadata address and the web seed offer. The web player's episodes
    // stay on plain http. Without its clip an engine episode has nothing to name.
    const std::string clip = clip_file(*programme, *source, episode->episode);
    std::string address = "http://127.0.0.1:" + std::to_string(port_) + "/media/" + clip;
    if (plays_in_player(*source)) {
      const std::optional<TorrentShelf::Entry> torrent = torrent_entry(clip);
      address = torrent ? "qvod://" + std::to_string(torrent->size) + "|" + torrent->hash + "|" +
                              clip + "|"
                        : std::string();
    }
    if (!address.empty()) {
      reply = codec::escape(episode_label(*programme, episode->episode)) + "$" + address + "$" +
              source->kind;
    }
  }
  if (failure != ReplyFailure::hang) record(reply);
  res.set_content(reply, kText);
}

void DemoService::media(const httplib::Request& req, httplib::Response& res, bool web_seed) {
  const std::string name = req.matches[1];
  const MediaLookup file = find_media(media_folder_, name);
  if (file.result != MediaLookup::Result::found) {
    res.status = file.result == MediaLookup::Result::forbidden ? 403 : 404;
    return;
  }
  auto stream = std::make_shared<std::ifstream>(file.path, std::ios::binary);
  if (!*stream) {
    res.status = 404;
    return;
  }
  // The library's own range handling (0.11) answers a range past the end with a 206 of negative
  // length and reads past the end for a last byte beyond it, so ranges are answered here and
  // the library is left with none to apply.
  const httplib::Ranges asked = req.ranges;
  const_cast<httplib::Request&>(req).ranges.clear();
  const std::uintmax_t size = file.size;
  std::uintmax_t first = 0;
  std::uintmax_t length = size;
  res.set_header("Accept-Ranges", "bytes");
  if (asked.size() == 1) {
    const auto [from, to] = asked.front();
    if (from < 0 ? to <= 0 || size == 0 : static_cast<std::uintmax_t>(from) >= size) {
      res.status = 416;
      res.set_header("Content-Range", "bytes */" + std::to_string(size));
      return;
    }
    bool partial = true;
    if (from < 0) {
      length = std::min<std::uintmax_t>(static_cast<std::uintmax_t>(to), size);
      first = size - length;
    } else if (to < 0 || to >= from) {
      first = static_cast<std::uintmax_t>(from);
      const std::uintmax_t last =
          to < 0 ? size - 1 : std::min<std::uintmax_t>(static_cast<std::uintmax_t>(to), size - 1);
      length = last - first + 1;
    } else {
      partial = false;  // a range that ends before it starts is no range: the whole file
    }
    if (partial) {
      res.status = 206;
      res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                          std::to_string(first + length - 1) + "/" +
                                          std::to_string(size));
    }
  }
  bool corrupt = false;
  if (web_seed) {
    std::lock_guard lock(mutex_);
    corrupt = corrupt_web_seed_;
  }
  // Several ranges at once are answered with the whole file, as a server may.
  res.set_content_provider(
      static_cast<size_t>(length), media_type(name),
      [stream, first, corrupt](size_t offset, size_t wanted, httplib::DataSink& sink) {
        char buffer[64 * 1024];
        stream->clear();
        stream->seekg(static_cast<std::streamoff>(first + offset));
        stream->read(buffer, static_cast<std::streamsize>(std::min(wanted, sizeof buffer)));
        const std::streamsize got = stream->gcount();
        if (got <= 0) return false;
        if (corrupt) {
          // One wrong byte in every 16 KiB block: every piece of every torrent fails its hash.
          for (std::streamsize i = 0; i < got; ++i) {
            if ((first + offset + static_cast<size_t>(i)) % 16384 == 100) buffer[i] ^= 0x5a;
          }
        }
        sink.write(buffer, static_cast<size_t>(got));
        return true;
      });
}

std::string DemoService::seen_json() const {
  std::lock_guard lock(mutex_);
  std::string json = "{\"pings\":" + json_list(seen_.pings) + ",\"resource_requests\":[";
  for (size_t i = 0; i < seen_.resource_requests.size(); ++i) {
    const ResourceRequest& r = seen_.resource_requests[i];
    json += (i ? "," : "") + std::string("{\"query\":") + json_string(r.query) +
            ",\"reply\":" + json_string(r.reply) + "}";
  }
  return json + "],\"searches\":" + json_list(seen_.searches) + "}\n";
}

}  // namespace pelmora::service
