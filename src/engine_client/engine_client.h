#pragma once

#include <QtCore/QObject>
#include <QtCore/QTimer>
#include <QtNetwork/QNetworkAccessManager>
#include <functional>
#include <map>
#include <string>

#include "engine_client/engine_status.h"

namespace pelmora::platform::qt {

// The download engine reached through its terminal program's control interface: HTTP on
// 127.0.0.1 at the address the running terminal writes into its endpoint file (one line,
// "http://127.0.0.1:PORT/TOKEN/"). Every request is asynchronous with a short time-out, so the
// window never waits for the terminal. A terminal that is still starting (the program starts it
// just before the first Play) is waited for: an open keeps looking for the endpoint file for a
// while before it gives up with "no-engine", and when none has shown up after a second it has
// one started (a terminal already running for another runtime folder, or none started at all,
// must not keep the player from playing). Items the player opened are polled for their status
// twice a second until they are closed.
class EngineClient final : public QObject, public DownloadEngine {
  Q_OBJECT

 public:
  struct Options {
    // Where the running terminal says where it listens; empty: endpoint_file_path().
    std::string endpoint_file;
    int start_wait_ms = 15000;      // how long an open waits for a terminal to come up
    int request_timeout_ms = 3000;  // one request to the terminal, at most
    int poll_interval_ms = 500;
    // Starts the user's terminal; called when an open finds none after `start_after_ms`. A
    // second terminal for the same runtime folder hands over to the first and ends, so an
    // extra start does no harm. Empty: never started from here.
    std::function<void()> start_terminal;
    int start_after_ms = 1000;
    // What the running terminal is to end with: "PID:START" of this program, or "none" to run
    // on after it. Asked every `follow_interval_ms`; the terminal answering at the endpoint is
    // told whenever it or the answer changes (a terminal found running, one started anew, the
    // user's switch). Empty: the terminal is never told.
    std::function<std::string()> end_with;
    int follow_interval_ms = 1000;
    // The service the items' metadata and web seed come from: the terminal at the endpoint is
    // told it once, with what it ends with (it may have been started for another service).
    std::string service_url;
  };

  explicit EngineClient(Options options, QObject* parent = nullptr);
  EngineClient() : EngineClient(Options{}) {}
  ~EngineClient() override;

  void open(const std::string& address, Role role, Opened done) override;
  void close(const std::string& address) override;
  EngineStatus status(const std::string& address) const override;

  // The terminal's endpoint file: "pelmora-engine.endpoint" in $XDG_RUNTIME_DIR, or else in the
  // user's private runtime folder the terminal makes in the temporary folder.
  static std::string endpoint_file_path();

 private:
  struct Item {
    EngineStatus status;
    bool asking = false;  // a status request is on its way
  };
  using Answer = std::function<void(int http_status, const std::string& body)>;

  // Runs `then` with the control address once it is known; `failed` when no terminal shows up
  // before `deadline_ms` (milliseconds since the epoch).
  void with_endpoint(std::function<void(const std::string&)> then, std::function<void()> failed,
                     qint64 deadline_ms);
  // Has the terminal started when no endpoint has shown up for a while (once per wait).
  void start_when_missing(qint64 deadline_ms);
  void ask_open(const std::string& address, Role role, Opened done, qint64 deadline_ms);
  // One GET; http_status 0 when the terminal could not be reached or did not answer in time.
  void get(const std::string& url, Answer answer);
  void poll();
  // Tells the terminal at the endpoint what it ends with, when it has not been told that yet.
  void follow();

  Options options_;
  QNetworkAccessManager network_;
  QTimer poll_timer_;
  QTimer follow_timer_;
  std::string told_base_;  // the terminal last told what it ends with, and what it was told
  std::string told_end_with_;
  std::string told_service_base_;  // the terminal last told the service
  bool telling_ = false;
  std::string base_;                   // the control address; empty until read
  qint64 started_for_ = 0;             // the wait (its deadline) a start was made for
  std::map<std::string, Item> items_;  // polled items, by hash
};

}  // namespace pelmora::platform::qt
