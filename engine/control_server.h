#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace pelmora::engine {

class Engine;
class HttpAnswer;
class HttpFront;
struct HttpRequest;

// The terminal's HTTP face on 127.0.0.1: the control API under a secret base path, and each
// item's stream under its own random token. Requests without either are refused as soon as their
// request line is read (see HttpFront), so no other local process can hold up the player's.
class ControlServer {
 public:
  // `quit` is called (from a server thread) when the control API is asked to end the terminal;
  // `end_with` with the text of an "end-with" call ("PID:START" or "none"), false when it names
  // no program. Without `end_with` that call is unknown.
  ControlServer(Engine& engine, std::function<void()> quit,
                std::function<bool(const std::string&)> end_with = {});
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  // Listens on 127.0.0.1, any free port. False when it cannot.
  bool start();
  void stop();
  // "http://127.0.0.1:PORT/TOKEN/"
  std::string base_url() const;
  int port() const { return port_; }

 private:
  void control(const HttpRequest& request, HttpAnswer& answer);
  void stream(const HttpRequest& request, HttpAnswer& answer);

  Engine& engine_;
  std::function<void()> quit_;
  std::function<bool(const std::string&)> end_with_;
  std::string token_;
  std::unique_ptr<HttpFront> front_;
  int port_ = 0;
};

}  // namespace pelmora::engine
