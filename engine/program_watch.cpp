#include "program_watch.h"

#include <charconv>
#include <chrono>
#include <fstream>
#include <sstream>

namespace pelmora::engine {

namespace {

bool whole(std::string_view text, auto& value) {
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<WatchedProgram> parse_watched_program(const std::string& text, bool& valid) {
  valid = true;
  if (text == "none") return std::nullopt;
  const std::size_t colon = text.find(':');
  WatchedProgram program;
  std::string_view all(text);
  if (colon != std::string::npos && whole(all.substr(0, colon), program.pid) &&
      whole(all.substr(colon + 1), program.start_ticks) && program.pid > 0) {
    return program;
  }
  valid = false;
  return std::nullopt;
}

bool still_runs(const WatchedProgram& program) {
  std::ifstream in("/proc/" + std::to_string(program.pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return false;
  // The name in parentheses may hold spaces and parentheses itself: the fields follow the last
  // ")". Then: state (3), and the start time is field 22.
  const std::size_t end = stat.rfind(')');
  if (end == std::string::npos) return false;
  std::istringstream fields(stat.substr(end + 1));
  std::string state;
  fields >> state;
  if (state == "Z" || state == "X" || state == "x") return false;
  std::string field;
  for (int index = 4; index <= 22 && fields >> field; ++index) {
    if (index == 22) {
      unsigned long long started = 0;
      return whole(std::string_view(field), started) && started == program.start_ticks;
    }
  }
  return false;
}

ProgramWatch::ProgramWatch(std::function<void()> gone) : gone_(std::move(gone)) {
  thread_ = std::thread([this] { run(); });
}

ProgramWatch::~ProgramWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void ProgramWatch::watch(std::optional<WatchedProgram> program) {
  {
    std::lock_guard lock(mutex_);
    program_ = program;
  }
  wake_.notify_all();
}

void ProgramWatch::run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (program_ && !still_runs(*program_)) {
      program_.reset();
      lock.unlock();
      gone_();
      lock.lock();
      continue;
    }
    wake_.wait_for(lock, std::chrono::seconds(1));
  }
}

}  // namespace pelmora::engine
