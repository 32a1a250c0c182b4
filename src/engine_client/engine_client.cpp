#include "engine_client/engine_client.h"

#include <unistd.h>

#include <QtCore/QDateTime>
#include <QtCore/QPointer>
#include <QtCore/QUrl>
#include <QtNetwork/QNetworkProxy>
#include <QtNetwork/QNetworkReply>
#include <QtNetwork/QNetworkRequest>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "engine_words.h"

namespace pelmora::platform::qt {

namespace {

constexpr const char* kEndpointName = "pelmora-engine.endpoint";
constexpr int kRetryMs = 100;

qint64 now_ms() {
  return QDateTime::currentMSecsSinceEpoch();
}

std::string percent(const std::string& text) {
  return QUrl::toPercentEncoding(QByteArray::fromStdString(text)).toStdString();
}

std::string first_line(const std::string& body) {
  std::string line = body.substr(0, body.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

// The control address from the endpoint file: one line, a loopback HTTP address ending in "/".
std::string read_endpoint(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return {};
  line = first_line(line);
  if (!line.starts_with("http://127.0.0.1:") || !line.ends_with('/')) return {};
  return line;
}

// The reason in a refusal's body ("error=TEXT"), or `otherwise`.
std::string refusal_reason(const std::string& body, const std::string& otherwise) {
  const EngineStatus status = parse_engine_status(body);
  return status.error.empty() ? otherwise : status.error;
}

// PELMORA_ENGINE_LOG set: every request to the terminal and its answer go to the standard error,
// for diagnosing playback through the engine.
bool logging() {
  static const bool on = std::getenv("PELMORA_ENGINE_LOG") != nullptr;
  return on;
}

}  // namespace

EngineClient::EngineClient(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
  if (options_.endpoint_file.empty()) options_.endpoint_file = endpoint_file_path();
  // The terminal is on loopback: no proxy of the desktop's may stand in between.
  network_.setProxy(QNetworkProxy::NoProxy);
  poll_timer_.setInterval(options_.poll_interval_ms);
  connect(&poll_timer_, &QTimer::timeout, this, &EngineClient::poll);
  if (options_.end_with) {
    follow_timer_.setInterval(options_.follow_interval_ms);
    connect(&follow_timer_, &QTimer::timeout, this, &EngineClient::follow);
    follow_timer_.start();
  }
}

EngineClient::~EngineClient() {
  // Requests still on their way answer nobody: their handlers use this object.
  for (QNetworkReply* reply : network_.findChildren<QNetworkReply*>()) {
    reply->disconnect(this);
    reply->abort();
  }
}

std::string EngineClient::endpoint_file_path() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + kEndpointName;
  const char* temporary = std::getenv("TMPDIR");
  const std::string folder = temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp";
  return folder + "/pelmora-engine-" + std::to_string(::getuid()) + "/" + kEndpointName;
}

void EngineClient::open(const std::string& address, Role role, Opened done) {
  if (!done) done = [](const std::string&, const std::string&) {};
  const std::optional<EngineAddress> parsed = parse_engine_address(address);
  if (!parsed) {
    // Answered from the event loop, as every other answer is.
    QTimer::singleShot(0, this, [done] { done({}, std::string(engine::words::kBadAddress)); });
    return;
  }
  items_.try_emplace(parsed->hash);
  if (!poll_timer_.isActive()) poll_timer_.start();
  ask_open(address, role, std::move(done), now_ms() + options_.start_wait_ms);
}

void EngineClient::ask_open(const std::string& address, Role role, Opened done,
                            qint64 deadline_ms) {
  QPointer<EngineClient> self(this);
  with_endpoint(
      [=, this](const std::string& base) {
        const std::string url =
            base + "open?address=" + percent(address) + "&role=" +
            std::string(role == Role::kPlay ? engine::words::kRolePlay : engine::words::kRoleNext);
        // Not reachable, or a token of a terminal that has ended since: look for the terminal
        // again and ask again, until the time for it is up.
        const auto again = [=, this] {
          if (now_ms() >= deadline_ms) {
            done({}, "no-engine");
            return;
          }
          base_.clear();
          start_when_missing(deadline_ms);
          QTimer::singleShot(kRetryMs, this,
                             [=, this] { ask_open(address, role, done, deadline_ms); });
        };
        // A terminal not yet told this program's service would fetch the item from another.
        if (!options_.service_url.empty() && base != told_service_base_) {
          get(base + "service?url=" + percent(options_.service_url),
              [=, this](int http_status, const std::string&) {
                if (!self) return;
                if (http_status != 0) {
                  told_service_base_ = base;
                  ask_open(address, role, done, deadline_ms);
                } else {
                  again();
                }
              });
          return;
        }
        get(url, [=, this](int http_status, const std::string& body) {
          if (!self) return;
          if (http_status == 200 && !first_line(body).empty()) {
            done(first_line(body), {});
          } else if (http_status == 400 || http_status == 404 || http_status == 409) {
            done({}, refusal_reason(body, std::string(engine::words::kBadAddress)));
          } else {
            again();
          }
        });
      },
      [done] { done({}, "no-engine"); }, deadline_ms);
}

void EngineClient::close(const std::string& address) {
  const std::optional<EngineAddress> parsed = parse_engine_address(address);
  if (!parsed) return;
  items_.erase(parsed->hash);
  if (items_.empty()) poll_timer_.stop();
  const std::string hash = parsed->hash;
  with_endpoint([this, hash](const std::string& base) { get(base + "close?hash=" + hash, {}); },
                [] {}, now_ms());
}

EngineStatus EngineClient::status(const std::string& address) const {
  const std::optional<EngineAddress> parsed = parse_engine_address(address);
  if (!parsed)
    return EngineStatus{EngineStatus::State::kError, 0, 0, std::string(engine::words::kBadAddress)};
  const auto item = items_.find(parsed->hash);
  return item != items_.end() ? item->second.status : EngineStatus{};
}

void EngineClient::with_endpoint(std::function<void(const std::string&)> then,
                                 std::function<void()> failed, qint64 deadline_ms) {
  if (base_.empty()) base_ = read_endpoint(options_.endpoint_file);
  if (!base_.empty()) {
    then(base_);
  } else if (now_ms() < deadline_ms) {
    start_when_missing(deadline_ms);
    QTimer::singleShot(kRetryMs, this,
                       [this, then = std::move(then), failed = std::move(failed), deadline_ms] {
                         with_endpoint(then, failed, deadline_ms);
                       });
  } else {
    failed();
  }
}

void EngineClient::start_when_missing(qint64 deadline_ms) {
  if (!options_.start_terminal || started_for_ == deadline_ms) return;
  const qint64 waited = now_ms() - (deadline_ms - options_.start_wait_ms);
  if (waited < options_.start_after_ms) return;
  started_for_ = deadline_ms;
  options_.start_terminal();
}

void EngineClient::get(const std::string& url, Answer answer) {
  QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(url)));
  request.setTransferTimeout(options_.request_timeout_ms);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  QNetworkReply* reply = network_.get(request);
  connect(reply, &QNetworkReply::finished, this, [reply, url, answer = std::move(answer)] {
    reply->deleteLater();
    const QVariant code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = code.isValid() ? code.toInt() : 0;
    const std::string body = reply->readAll().toStdString();
    if (logging()) {
      std::fprintf(stderr, "engine: %s -> %d %s %s\n", url.c_str(), status,
                   reply->errorString().toStdString().c_str(), first_line(body).c_str());
    }
    if (answer) answer(status, body);
  });
}

void EngineClient::poll() {
  if (items_.empty()) {
    poll_timer_.stop();
    return;
  }
  if (base_.empty()) base_ = read_endpoint(options_.endpoint_file);
  if (base_.empty()) return;
  for (auto& [hash, item] : items_) {
    if (item.asking) continue;
    item.asking = true;
    get(base_ + "status?hash=" + hash, [this, hash](int http_status, const std::string& body) {
      const auto found = items_.find(hash);
      if (found == items_.end()) return;  // closed meanwhile
      found->second.asking = false;
      if (http_status == 200) {
        found->second.status = parse_engine_status(body);
      } else if (http_status == 404) {
        found->second.status = EngineStatus{};
      } else if (http_status == 0 || http_status == 403) {
        base_.clear();  // the terminal ended or was replaced; read its endpoint again
      }
    });
  }
}

void EngineClient::follow() {
  if (telling_) return;
  const std::string base = read_endpoint(options_.endpoint_file);
  if (base.empty()) return;
  // Any answer is final for this terminal (one that does not know a call answers 404); an
  // unreachable one is tried again at the next tick.
  if (!options_.service_url.empty() && base != told_service_base_) {
    telling_ = true;
    get(base + "service?url=" + percent(options_.service_url),
        [this, base](int http_status, const std::string&) {
          telling_ = false;
          if (http_status != 0) told_service_base_ = base;
        });
    return;
  }
  const std::string end_with = options_.end_with();
  if (base == told_base_ && end_with == told_end_with_) return;
  telling_ = true;
  get(base + "end-with?program=" + percent(end_with),
      [this, base, end_with](int http_status, const std::string&) {
        telling_ = false;
        if (http_status == 0) return;
        told_base_ = base;
        told_end_with_ = end_with;
      });
}

}  // namespace pelmora::platform::qt
