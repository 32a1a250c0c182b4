// QvodTerminal.exe: the player engine's terminal. One per user; it downloads and shares the
// items the player opens and streams them to the player on 127.0.0.1.
#include <httplib.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "control_server.h"
#include "engine_session.h"
#include "percent.h"
#include "player_settings.h"
#include "program_watch.h"
#include "runtime_files.h"
#include "terminal_options.h"

namespace {

using namespace pelmora::engine;

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A second start: hands its shares and service over to the running terminal and ends.
int hand_over(const std::string& folder, const TerminalOptions& options) {
  std::string base;
  for (int waited = 0; base.empty() && waited < 50; ++waited) {
    base = runtime::read_endpoint(folder);
    if (base.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (base.empty()) {
    std::cerr << "QvodTerminal.exe: another terminal runs but does not answer\n";
    return 1;
  }
  const std::size_t slash = base.find('/', 7);
  httplib::Client client(base.substr(0, slash));
  client.set_connection_timeout(std::chrono::seconds(2));
  client.set_read_timeout(std::chrono::seconds(60));
  const std::string path = base.substr(slash);
  bool delivered = true;
  if (options.service_given) {
    auto res = client.Get(path + "service?url=" + percent_encode(options.service_url));
    delivered = delivered && res && res->status == 200;
  }
  for (const std::string& seed : options.seed_folders) {
    auto res = client.Get(path + "seed?folder=" + percent_encode(seed));
    delivered = delivered && res && res->status == 200;
  }
  // The program now using the terminal says whether the terminal ends with it.
  if (options.end_with_given) {
    const std::string program = options.end_with ? std::to_string(options.end_with->pid) + ":" +
                                                       std::to_string(options.end_with->start_ticks)
                                                 : "none";
    auto res = client.Get(path + "end-with?program=" + program);
    delivered = delivered && res && res->status == 200;
  }
  if (!delivered) {
    std::cerr << "QvodTerminal.exe: the running terminal did not take the options\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  const ParsedOptions parsed = parse_terminal_options(args, argc > 0 ? argv[0] : "", cwd,
                                                      env("PELMORA_SERVICE_URL"), env("PATH"));
  if (parsed.help) {
    std::cout << kTerminalUsage;
    return 0;
  }
  if (!parsed.options) {
    std::cerr << "QvodTerminal.exe: " << parsed.message << "\n" << kTerminalUsage;
    return 2;
  }
  const TerminalOptions& options = *parsed.options;

  // The stop signals are taken by the main thread alone; every thread made later inherits the
  // mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const std::string runtime_folder = runtime::runtime_folder();
  if (runtime_folder.empty()) {
    std::cerr << "QvodTerminal.exe: no private runtime folder\n";
    return 1;
  }
  const auto lock = runtime::take_lock(runtime_folder);
  if (!lock) return hand_over(runtime_folder, options);

  EngineOptions engine_options;
  const std::string configured =
      configured_save_folder(options.player_folder, default_save_folder());
  engine_options.download_folder =
      download_folder(configured, options.player_folder, default_save_folder());
  engine_options.state_folder = options.player_folder + "/engine-state";
  engine_options.service_url = options.service_url;
  engine_options.web_seed = options.web_seed;
  engine_options.peers = options.peers;
  engine_options.listen_interface = options.listen_interface;
  engine_options.listen_port = options.listen_port;
  engine_options.source_timeout = std::chrono::seconds(options.source_timeout_seconds);
  engine_options.download_limit = options.download_limit_kb * 1024;
  engine_options.startup_time = std::chrono::milliseconds(options.startup_ms);

  Engine engine(engine_options);
  if (!engine.start()) {
    std::cerr << "QvodTerminal.exe: cannot listen for peers on " << options.listen_interface << ":"
              << options.listen_port << "\n";
    return 1;
  }
  for (const std::string& seed : options.seed_folders) engine.seed_folder(seed);

  const pid_t self = getpid();
  // When the program that uses the terminal ends without ending it (killed, crashed), the
  // terminal ends as on SIGTERM: the engine's state is saved on the way out.
  ProgramWatch program_watch([self] { kill(self, SIGTERM); });
  program_watch.watch(options.end_with);
  ControlServer server(
      engine, [self] { kill(self, SIGTERM); },
      [&program_watch](const std::string& text) {
        bool valid = false;
        const auto program = parse_watched_program(text, valid);
        if (valid) program_watch.watch(program);
        return valid;
      });
  if (!server.start() || !runtime::write_endpoint(runtime_folder, server.base_url())) {
    std::cerr << "QvodTerminal.exe: cannot serve on 127.0.0.1\n";
    return 1;
  }
  std::cerr << "QvodTerminal.exe: peers on port " << engine.listen_port() << ", downloads to "
            << engine_options.download_folder << std::endl;

  int received = 0;
  sigwait(&stop_signals, &received);
  runtime::remove_endpoint(runtime_folder);
  server.stop();
  engine.stop();
  close(*lock);
  return 0;
}
