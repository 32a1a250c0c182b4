#include "control_server.h"

#include <httplib.h>

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine_session.h"
#include "percent.h"
#include "qvod_address.h"
#include "random_token.h"

namespace pelmora::engine {
namespace {

constexpr const char* kText = "text/plain; charset=utf-8";
// The most a stream answer hands over per step; a step waits for at most this much.
constexpr std::uint64_t kStreamStep = 256 * 1024;

// The query's values, each percent-decoded once ("+" is kept: addresses may hold it).
std::map<std::string, std::string> query_of(const std::string& target) {
  std::map<std::string, std::string> values;
  const std::size_t mark = target.find('?');
  if (mark == std::string::npos) return values;
  std::string_view query(target);
  query.remove_prefix(mark + 1);
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t eq = pair.find('=');
    const std::string key(pair.substr(0, eq));
    if (!values.count(key)) {
      values[key] = eq == std::string_view::npos ? "" : percent_decode(pair.substr(eq + 1));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return values;
}

std::string media_type(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  std::string extension(dot == std::string_view::npos ? "" : name.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "mp4" || extension == "m4v") return "video/mp4";
  if (extension == "webm") return "video/webm";
  if (extension == "mkv") return "video/x-matroska";
  if (extension == "flv") return "video/x-flv";
  if (extension == "avi") return "video/x-msvideo";
  if (extension == "rmvb" || extension == "rm") return "application/vnd.rn-realmedia-vbr";
  return "application/octet-stream";
}

void reply(httplib::Response& res, int status, const std::string& body) {
  res.status = status;
  res.set_content(body, kText);
}

// Unregisters a stream answer's reader once the server is done with the answer.
struct ReaderGuard {
  Engine& engine;
  std::string hash;
  int id;
  ReaderGuard(Engine& e, std::string h) : engine(e), hash(std::move(h)), id(e.add_reader(hash)) {}
  ~ReaderGuard() { engine.remove_reader(hash, id); }
  ReaderGuard(const ReaderGuard&) = delete;
  ReaderGuard& operator=(const ReaderGuard&) = delete;
};

}  // namespace

ControlServer::ControlServer(Engine& engine, std::function<void()> quit)
    : engine_(engine),
      quit_(std::move(quit)),
      server_(std::make_unique<httplib::Server>()),
      token_(random_token()) {
  // Stream answers wait for pieces while holding a worker; two players with a few connections
  // each and the control calls must still find one free.
  server_->new_task_queue = [] { return new httplib::ThreadPool(32); };
  server_->set_keep_alive_timeout(5);
  // The player reads in many ranges over one connection: no delayed-acknowledgement stall.
  server_->set_tcp_nodelay(true);
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  route();
}

ControlServer::~ControlServer() {
  stop();
}

bool ControlServer::start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int waited = 0; !server_->is_running(); ++waited) {
    if (waited == 5000) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void ControlServer::stop() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

std::string ControlServer::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + token_ + "/";
}

void ControlServer::route() {
  httplib::Server& s = *server_;

  s.Get(R"(/stream/([0-9a-f]{32})(/.*)?)", [this](const httplib::Request& req,
                                                  httplib::Response& res) {
    const auto target = engine_.stream_target(req.matches[1]);
    if (!target) {
      res.status = 404;
      return;
    }
    // Ranges are answered here; the library is left with none to apply.
    const httplib::Ranges asked = req.ranges;
    const_cast<httplib::Request&>(req).ranges.clear();
    const std::uint64_t size = target->size;
    std::uint64_t first = 0;
    std::uint64_t length = size;
    res.set_header("Accept-Ranges", "bytes");
    if (asked.size() == 1) {
      const auto [from, to] = asked.front();
      if (from < 0 ? to <= 0 : static_cast<std::uint64_t>(from) >= size) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
      }
      bool partial = true;
      if (from < 0) {
        length = std::min<std::uint64_t>(static_cast<std::uint64_t>(to), size);
        first = size - length;
      } else if (to < 0 || to >= from) {
        first = static_cast<std::uint64_t>(from);
        const std::uint64_t last =
            to < 0 ? size - 1 : std::min<std::uint64_t>(static_cast<std::uint64_t>(to), size - 1);
        length = last - first + 1;
      } else {
        partial = false;
      }
      if (partial) {
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                            std::to_string(first + length - 1) + "/" +
                                            std::to_string(size));
      }
    }
    auto guard = std::make_shared<ReaderGuard>(engine_, target->hash);
    res.set_content_provider(
        static_cast<std::size_t>(length), media_type(target->name),
        [guard, first](std::size_t offset, std::size_t wanted, httplib::DataSink& sink) {
          const std::uint64_t at = first + offset;
          const Readable readable = guard->engine.wait_readable(
              guard->hash, guard->id, at, std::min<std::uint64_t>(wanted, kStreamStep),
              [&sink] { return sink.is_writable(); });
          if (readable.length == 0) return false;
          std::ifstream in(readable.path, std::ios::binary);
          in.seekg(static_cast<std::streamoff>(at));
          std::string buffer(static_cast<std::size_t>(readable.length), '\0');
          in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
          const std::streamsize got = in.gcount();
          if (got <= 0) return false;
          return sink.write(buffer.data(), static_cast<std::size_t>(got));
        },
        [guard](bool) {});
  });

  s.Get(R"(/([^/]+)/(open|status|close|seed|service|quit))",
        [this](const httplib::Request& req, httplib::Response& res) {
          if (req.matches[1] != token_) {
            reply(res, 403, "error=forbidden\n");
            return;
          }
          const std::string what = req.matches[2];
          const auto query = query_of(req.target);
          const auto value = [&query](const char* key) {
            const auto it = query.find(key);
            return it == query.end() ? std::string() : it->second;
          };
          if (what == "open") {
            const auto address = parse_qvod_address(value("address"));
            if (!address) {
              reply(res, 400, "error=bad-address\n");
              return;
            }
            const std::string role_text = query.count("role") ? value("role") : "play";
            const auto role = parse_role(role_text);
            if (!role) {
              reply(res, 400, "error=bad-role\n");
              return;
            }
            const std::string token = engine_.open(*address, *role);
            reply(res, 200,
                  "http://127.0.0.1:" + std::to_string(port_) + "/stream/" + token + "/" +
                      percent_encode(address->name) + "\n");
          } else if (what == "status" || what == "close") {
            std::string hash = value("hash");
            for (char& c : hash) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!is_info_hash(hash)) {
              reply(res, 404, "error=unknown-item\n");
              return;
            }
            if (what == "close") {
              if (engine_.close(hash)) {
                reply(res, 200, "ok\n");
              } else {
                reply(res, 404, "error=unknown-item\n");
              }
              return;
            }
            const auto status = engine_.status(hash);
            if (!status) {
              reply(res, 404, "error=unknown-item\n");
              return;
            }
            reply(res, 200,
                  "state=" + status->state + "\npermille=" + std::to_string(status->permille) +
                      "\nrate=" + std::to_string(status->rate) + "\nerror=" + status->error +
                      "\ndownloaded=" + std::to_string(status->downloaded) +
                      "\npeers=" + std::to_string(status->peers) + "\n");
          } else if (what == "seed") {
            const std::string folder = value("folder");
            std::error_code ec;
            if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
              reply(res, 400, "error=bad-folder\n");
              return;
            }
            reply(res, 200, "seeding=" + std::to_string(engine_.seed_folder(folder)) + "\n");
          } else if (what == "service") {
            const std::string url = value("url");
            if (!url.starts_with("http://") && !url.starts_with("https://")) {
              reply(res, 400, "error=bad-service\n");
              return;
            }
            engine_.set_service_url(url);
            reply(res, 200, "ok\n");
          } else {
            reply(res, 200, "ok\n");
            quit_();
          }
        });
}

}  // namespace pelmora::engine
