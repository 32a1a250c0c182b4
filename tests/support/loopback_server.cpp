#include "support/loopback_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace pelmora::testing {

struct LoopbackServer::State {
  httplib::Server server;
  std::thread thread;
  std::mutex mutex;
  std::map<std::string, Handler> handlers;
  std::atomic<int> requests{0};
  std::vector<std::string> request_lines;
  std::atomic<bool> stopping{false};
  std::condition_variable stop_signal;
};

LoopbackServer::LoopbackServer() : state_(std::make_unique<State>()) {
  State& state = *state_;
  state.server.Get(".*", [&state](const httplib::Request& request, httplib::Response& response) {
    ++state.requests;
    Handler handler;
    {
      std::lock_guard lock(state.mutex);
      state.request_lines.push_back(request.method + " " + request.target + " " + request.version);
      const auto found = state.handlers.find(request.path);
      if (found != state.handlers.end()) handler = found->second;
    }
    if (!handler) {
      response.status = 404;
      return;
    }
    // The raw query string, as the client sent it.
    std::string query;
    if (const auto mark = request.target.find('?'); mark != std::string::npos) {
      query = request.target.substr(mark + 1);
    }
    const Reply reply = handler(request.path, query);
    if (reply.delay_ms > 0) {
      std::unique_lock lock(state.mutex);
      state.stop_signal.wait_for(lock, std::chrono::milliseconds(reply.delay_ms),
                                 [&state] { return state.stopping.load(); });
    }
    response.status = reply.status;
    if (reply.drip_ms <= 0 || reply.body.empty()) {
      response.set_content(reply.body, reply.content_type);
      return;
    }
    response.set_content_provider(
        reply.body.size(), reply.content_type,
        [&state, body = reply.body, drip = reply.drip_ms](std::size_t offset, std::size_t,
                                                          httplib::DataSink& sink) {
          if (offset > 0) {
            std::unique_lock lock(state.mutex);
            if (state.stop_signal.wait_for(lock, std::chrono::milliseconds(drip),
                                           [&state] { return state.stopping.load(); })) {
              return false;
            }
          }
          return sink.write(body.data() + offset, 1);
        });
  });
  port_ = state.server.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
  state.thread = std::thread([&state] { state.server.listen_after_bind(); });
  for (int waited = 0; !state.server.is_running() && waited < 5000; waited += 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

LoopbackServer::~LoopbackServer() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopping = true;
  }
  state_->stop_signal.notify_all();
  state_->server.stop();
  if (state_->thread.joinable()) state_->thread.join();
}

void LoopbackServer::on(const std::string& path, Handler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[path] = std::move(handler);
}

std::string LoopbackServer::base_url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<std::string> LoopbackServer::request_lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->request_lines;
}

int LoopbackServer::requests() const {
  return state_->requests.load();
}

}  // namespace pelmora::testing
