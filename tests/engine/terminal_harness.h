#pragma once

// Runs QvodTerminal.exe as a real process for the tests: each terminal has a runtime folder and
// a player folder of its own, so that several can run side by side (and none meets a terminal
// of the machine's user).
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "percent.h"
#include "support/temp_folder.h"
#include "torrent_maker.h"

namespace pelmora::testing {

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// `size` bytes that are the same on every run.
inline std::string sample_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  return bytes;
}

// A media file and the qvod address of it.
struct SampleItem {
  std::string name;
  std::string bytes;
  std::string hash;
  std::string address() const {
    return "qvod://" + std::to_string(bytes.size()) + "|" + hash + "|" + name + "|";
  }
};

inline SampleItem make_sample(const std::string& folder, const std::string& name, std::size_t size,
                              unsigned seed) {
  SampleItem item{name, sample_bytes(size, seed), {}};
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name, std::ios::binary) << item.bytes;
  item.hash = torrent::make_torrent(folder + "/" + name, name).value().info_hash;
  return item;
}

// A GET on loopback; status -1 when nothing came back.
struct Got {
  int status = -1;
  std::string body;
  std::map<std::string, std::string> headers;
};

inline Got http_get(const std::string& url, const std::string& range = {},
                    int timeout_seconds = 30) {
  const std::size_t slash = url.find('/', 7);
  httplib::Client client(url.substr(0, slash));
  client.set_connection_timeout(std::chrono::seconds(5));
  client.set_read_timeout(std::chrono::seconds(timeout_seconds));
  httplib::Headers headers;
  if (!range.empty()) headers.emplace("Range", "bytes=" + range);
  Got got;
  if (auto res = client.Get(url.substr(slash), headers)) {
    got.status = res->status;
    got.body = res->body;
    for (const auto& [key, value] : res->headers) got.headers[key] = value;
  }
  return got;
}

class Terminal {
 public:
  struct Setup {
    std::string player_folder;
    std::string runtime_folder;
    std::string service_url;
    std::vector<std::string> arguments;
    bool wait_for_endpoint = true;
  };

  explicit Terminal(Setup setup) : setup_(std::move(setup)) {
    std::filesystem::create_directories(setup_.runtime_folder);
    std::filesystem::create_directories(setup_.player_folder);
    if (setup_.wait_for_endpoint) std::filesystem::remove(endpoint_file());
    // Another build of the terminal may be tried against the same tests.
    const char* program = std::getenv("PELMORA_TERMINAL_UNDER_TEST");
    std::vector<std::string> args = {program != nullptr ? program : PELMORA_TERMINAL,
                                     "--player-folder", setup_.player_folder, "--service",
                                     setup_.service_url};
    args.insert(args.end(), setup_.arguments.begin(), setup_.arguments.end());
    // Everything the child needs is made here: between fork and exec a child of this
    // many-threaded process may not allocate (another thread may have held the allocator's lock
    // at the fork, and the child would wait for it for ever).
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (!std::string_view(*entry).starts_with("XDG_RUNTIME_DIR="))
        environment.emplace_back(*entry);
    }
    environment.push_back("XDG_RUNTIME_DIR=" + setup_.runtime_folder);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    if (!setup_.wait_for_endpoint) return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      base_ = read_file(endpoint_file());
      if (!base_.empty() && base_.back() == '\n') {
        base_.pop_back();
        return;
      }
      base_.clear();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the terminal did not announce its endpoint";
  }

  ~Terminal() {
    if (pid_ > 0) stop();
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  std::string endpoint_file() const { return setup_.runtime_folder + "/pelmora-engine.endpoint"; }
  const std::string& base() const { return base_; }
  pid_t pid() const { return pid_; }

  Got control(const std::string& call) const { return http_get(base_ + call); }

  // The stream address of `address` opened in `role`; empty when the terminal refused.
  std::string open(const std::string& address, const std::string& role = "play") const {
    const Got got = control("open?address=" + engine::percent_encode(address) + "&role=" + role);
    if (got.status != 200 || got.body.empty()) return {};
    return got.body.substr(0, got.body.find('\n'));
  }

  std::map<std::string, std::string> status(const std::string& hash) const {
    std::map<std::string, std::string> fields;
    const Got got = control("status?hash=" + hash);
    std::istringstream lines(got.body);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    fields["http"] = std::to_string(got.status);
    return fields;
  }

  // Waits until the item's state is `state` (or the time is up); returns the last status.
  std::map<std::string, std::string> wait_state(const std::string& hash, const std::string& state,
                                                int seconds = 30) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    auto last = status(hash);
    while (last["state"] != state && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      last = status(hash);
    }
    return last;
  }

  // Ends the terminal with `signal` and returns its exit status (or 128 + signal).
  int stop(int signal = SIGTERM) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Waits for a terminal that ends by itself.
  int wait_exit(int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

 private:
  Setup setup_;
  pid_t pid_ = -1;
  std::string base_;
};

}  // namespace pelmora::testing
