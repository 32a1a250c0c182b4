#include "platform/qt/lag_probe.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace pelmora::platform::qt {

namespace {

constexpr int kTickMs = 10;
constexpr int kReportMs = 1000;

}  // namespace

void start_lag_probe() {
  auto* tick = new QTimer(QCoreApplication::instance());
  auto* report = new QTimer(tick);
  auto* clock = new QElapsedTimer();
  clock->start();
  auto last = std::make_shared<qint64>(0);
  auto worst = std::make_shared<qint64>(0);
  tick->setTimerType(Qt::PreciseTimer);
  QObject::connect(tick, &QTimer::timeout, [clock, last, worst] {
    const qint64 now = clock->elapsed();
    *worst = std::max(*worst, now - *last - kTickMs);
    *last = now;
  });
  QObject::connect(report, &QTimer::timeout, [worst] {
    std::fprintf(stderr, "pelmora-timing lag %lld\n", static_cast<long long>(*worst));
    *worst = 0;
  });
  QObject::connect(tick, &QObject::destroyed, [clock] { delete clock; });
  tick->start(kTickMs);
  report->start(kReportMs);
}

}  // namespace pelmora::platform::qt
