#include "platform/desktop/lag_probe.h"

#include <execinfo.h>
#include <pthread.h>
#include <unistd.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>
#include <QtGui/QKeyEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

namespace pelmora::platform::qt {

namespace {

constexpr int kTickMs = 10;
constexpr int kReportMs = 1000;

// The stack sampler: a thread of its own watches the probe's ticks; while the event loop is
// late by more than the threshold it interrupts the user-interface thread every 20 ms and prints
// where it was, so a slow handler names itself.
constexpr int kStallMs = 40;
constexpr int kSampleMs = 20;
constexpr int kDepth = 40;

long long steady_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::atomic<long long> last_tick_ms{0};
// The longest lateness since the last report.
long long worst_ms = 0;

void print_report() {
  std::fprintf(stderr, "pelmora-timing lag %lld\n", worst_ms);
  worst_ms = 0;
}
void* sample[kDepth];
std::atomic<int> sample_depth{0};
std::atomic<bool> sample_taken{false};

void take_sample(int) {
  sample_depth = backtrace(sample, kDepth);
  sample_taken = true;
}

void start_stack_sampler() {
  // The first call loads the unwinder, which must not happen inside the signal handler.
  void* warm[2];
  backtrace(warm, 2);
  struct sigaction action {};
  action.sa_handler = take_sample;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPROF, &action, nullptr);
  const pthread_t ui = pthread_self();
  std::thread([ui] {
    long long stall_start = 0;
    for (;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kSampleMs));
      const long long now = steady_ms();
      const long long late = now - last_tick_ms.load() - kTickMs;
      if (late < kStallMs) {
        stall_start = 0;
        continue;
      }
      if (stall_start == 0) stall_start = last_tick_ms.load();
      sample_taken = false;
      pthread_kill(ui, SIGPROF);
      for (int wait = 0; wait < 50 && !sample_taken; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (!sample_taken) continue;
      std::fprintf(stderr, "pelmora-timing stall %lld ms, stack:\n", now - stall_start);
      std::fflush(stderr);
      backtrace_symbols_fd(sample, sample_depth, STDERR_FILENO);
    }
  }).detach();
}

// Prints the wall-clock time at which each press of the Shift key reaches the program (once per
// press, though Qt hands it to the window and then to the widgets), for a benchmark that presses
// the key through the X server and compares with the moment it pressed it. Shift does nothing in
// the program's window.
class KeyArrivals : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Shift && !key->isAutoRepeat() && key->timestamp() != last_) {
        last_ = key->timestamp();
        const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
        std::fprintf(stderr, "pelmora-timing key %lld\n", now);
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  quint64 last_ = 0;
};

}  // namespace

void start_lag_probe(bool sample_stacks) {
  QCoreApplication::instance()->installEventFilter(new KeyArrivals(QCoreApplication::instance()));
  auto* tick = new QTimer(QCoreApplication::instance());
  auto* report = new QTimer(tick);
  auto* clock = new QElapsedTimer();
  clock->start();
  auto last = std::make_shared<qint64>(0);
  tick->setTimerType(Qt::PreciseTimer);
  last_tick_ms = steady_ms();
  QObject::connect(tick, &QTimer::timeout, [clock, last] {
    const qint64 now = clock->elapsed();
    worst_ms = std::max<long long>(worst_ms, now - *last - kTickMs);
    *last = now;
    last_tick_ms = steady_ms();
  });
  QObject::connect(report, &QTimer::timeout, [] { print_report(); });
  QObject::connect(tick, &QObject::destroyed, [clock] { delete clock; });
  tick->start(kTickMs);
  report->start(kReportMs);
  if (sample_stacks) start_stack_sampler();
}

void report_lag_now() {
  print_report();
}

}  // namespace pelmora::platform::qt
