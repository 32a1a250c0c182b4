#include "control_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine_session.h"
#include "engine_words.h"
#include "http_front.h"
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

// Unregisters a stream answer's reader once the answer is over.
struct ReaderGuard {
  Engine& engine;
  std::string hash;
  int id;
  ReaderGuard(Engine& e, std::string h) : engine(e), hash(std::move(h)), id(e.add_reader(hash)) {}
  ~ReaderGuard() { engine.remove_reader(hash, id); }
  ReaderGuard(const ReaderGuard&) = delete;
  ReaderGuard& operator=(const ReaderGuard&) = delete;
};

// The path's segments after the leading "/": "/a/b/c" gives "a", "b/c".
std::pair<std::string_view, std::string_view> first_segment(std::string_view path) {
  path.remove_prefix(path.empty() ? 0 : 1);
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos) return {path, {}};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// The token of a stream path "/stream/TOKEN/NAME".
std::string_view stream_token_of(std::string_view path) {
  const std::string_view rest = first_segment(path).second;
  return rest.substr(0, rest.find('/'));
}

bool is_stream_token(std::string_view text) {
  return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

bool is_call(std::string_view what) {
  return what == "open" || what == "status" || what == "close" || what == "seed" ||
         what == "service" || what == "quit" || what == "end-with";
}

std::string status_text(const ItemStatus& status) {
  return "state=" + status.state + "\npermille=" + std::to_string(status.permille) +
         "\nrate=" + std::to_string(status.rate) + "\nerror=" + status.error +
         "\ndownloaded=" + std::to_string(status.downloaded) +
         "\npeers=" + std::to_string(status.peers) + "\n";
}

std::string refusal(std::string_view word) {
  return "error=" + std::string(word) + "\n";
}

}  // namespace

ControlServer::ControlServer(Engine& engine, std::function<void()> quit,
                             std::function<bool(const std::string&)> end_with)
    : engine_(engine),
      quit_(std::move(quit)),
      end_with_(std::move(end_with)),
      token_(random_token()) {
  front_ = std::make_unique<HttpFront>(
      [this](std::string_view path) -> std::optional<HttpFront::Refusal> {
        const auto [first, rest] = first_segment(path);
        if (first == "stream") {
          const std::string_view token = stream_token_of(path);
          if (is_stream_token(token) && engine_.stream_target(std::string(token))) {
            return std::nullopt;
          }
          return HttpFront::Refusal{404, ""};
        }
        if (!is_call(rest)) return HttpFront::Refusal{404, ""};
        if (first != token_) return HttpFront::Refusal{403, refusal(words::kForbidden)};
        return std::nullopt;
      },
      [this](const HttpRequest& request, HttpAnswer& answer) {
        if (request.path.starts_with("/stream/")) {
          stream(request, answer);
        } else {
          control(request, answer);
        }
      },
      HttpFront::Limits{});
}

ControlServer::~ControlServer() {
  stop();
}

bool ControlServer::start() {
  port_ = front_->start();
  return port_ > 0;
}

void ControlServer::stop() {
  front_->stop();
}

std::string ControlServer::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + token_ + "/";
}

void ControlServer::stream(const HttpRequest& request, HttpAnswer& answer) {
  const std::string token(stream_token_of(request.path));
  const auto target = engine_.stream_target(token);
  if (!target) {
    answer.send(404, {}, "");
    return;
  }
  const std::uint64_t size = target->size;
  const std::optional<ByteRange> range = byte_range(request.header("range"), size);
  HttpAnswer::Fields fields = {{"Accept-Ranges", "bytes"}};
  if (range && !range->satisfiable) {
    fields.emplace_back("Content-Range", "bytes */" + std::to_string(size));
    answer.send(416, fields, "");
    return;
  }
  const std::uint64_t first = range ? range->first : 0;
  const std::uint64_t length = range ? range->length : size;
  ReaderGuard guard(engine_, target->hash);
  const auto waiting = [&answer] { return answer.client_waiting(); };
  // The head waits for the first bytes: an item that cannot give them answers its error (the
  // player reports the item's state) instead of a promise of bytes that never come.
  Readable readable =
      engine_.wait_readable(target->hash, guard.id, first, std::min(length, kStreamStep), waiting);
  if (readable.length == 0) {
    if (!readable.error.empty()) {
      answer.send(503, {{"Content-Type", kText}}, refusal(readable.error));
    }
    return;
  }
  if (range) {
    fields.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                             std::to_string(first + length - 1) + "/" +
                                             std::to_string(size));
  }
  fields.emplace_back("Content-Type", media_type(target->name));
  if (!answer.send_head(range ? 206 : 200, fields, length)) return;
  std::string opened_path;
  int fd = -1;
  std::string buffer;
  std::uint64_t at = first;
  const std::uint64_t end = first + length;
  while (at < end) {
    if (at != first) {
      readable = engine_.wait_readable(target->hash, guard.id, at, std::min(end - at, kStreamStep),
                                       waiting);
      if (readable.length == 0) break;
    }
    if (readable.path != opened_path) {
      if (fd >= 0) ::close(fd);
      fd = ::open(readable.path.c_str(), O_RDONLY | O_CLOEXEC);
      opened_path = readable.path;
      if (fd < 0) break;
    }
    buffer.resize(static_cast<std::size_t>(std::min(readable.length, end - at)));
    const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(at));
    if (got <= 0 || !answer.write(buffer.data(), static_cast<std::size_t>(got))) break;
    at += static_cast<std::uint64_t>(got);
  }
  if (fd >= 0) ::close(fd);
}

void ControlServer::control(const HttpRequest& request, HttpAnswer& answer) {
  const std::string what(first_segment(request.path).second);
  const auto query = query_of(request.target);
  const auto value = [&query](const char* key) {
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
  };
  const auto reply = [&answer](int status, const std::string& body) {
    answer.send(status, {{"Content-Type", kText}}, body);
  };
  if (what == "open") {
    const auto address = parse_qvod_address(value("address"));
    if (!address) {
      reply(400, refusal(words::kBadAddress));
      return;
    }
    const std::string role_text = query.count("role") ? value("role") : "play";
    const auto role = parse_role(role_text);
    if (!role) {
      reply(400, refusal(words::kBadRole));
      return;
    }
    const Opened opened = engine_.open(*address, *role);
    if (!opened.error.empty()) {
      reply(409, refusal(opened.error));
      return;
    }
    reply(200, "http://127.0.0.1:" + std::to_string(port_) + "/stream/" + opened.token + "/" +
                   percent_encode(address->name) + "\n");
  } else if (what == "status" || what == "close") {
    std::string hash = value("hash");
    for (char& c : hash) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!is_info_hash(hash)) {
      reply(404, refusal(words::kUnknownItem));
      return;
    }
    if (what == "close") {
      if (engine_.close(hash)) {
        reply(200, "ok\n");
      } else {
        reply(404, refusal(words::kUnknownItem));
      }
      return;
    }
    const auto status = engine_.status(hash);
    if (!status) {
      reply(404, refusal(words::kUnknownItem));
      return;
    }
    reply(200, status_text(*status));
  } else if (what == "seed") {
    const std::string folder = value("folder");
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
      reply(400, "error=bad-folder\n");
      return;
    }
    reply(200, "seeding=" + std::to_string(engine_.seed_folder(folder)) + "\n");
  } else if (what == "service") {
    const std::string url = value("url");
    if (!url.starts_with("http://") && !url.starts_with("https://")) {
      reply(400, "error=bad-service\n");
      return;
    }
    engine_.set_service_url(url);
    reply(200, "ok\n");
  } else if (what == "end-with") {
    if (!end_with_) {
      reply(404, "");
    } else if (end_with_(value("program"))) {
      reply(200, "ok\n");
    } else {
      reply(400, "error=bad-program\n");
    }
  } else {
    reply(200, "ok\n");
    quit_();
  }
}

}  // namespace pelmora::engine
