#include "platform/qt/view_warm_up.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QResizeEvent>
#include <QtWidgets/QWidget>
#include <deque>
#include <functional>
#include <vector>

namespace pelmora::platform::qt {

namespace {

// Turns apart, so that input and painting run in between.
constexpr int kGapMs = 40;
// Marks a widget whose surfaces have been made.
constexpr char kWarmProperty[] = "pelmoraWarm";

std::deque<QPointer<QWidget>>& waiting() {
  static std::deque<QPointer<QWidget>> queue;
  return queue;
}

// What runs once every waiting widget has had its turn.
std::vector<std::function<void()>>& afterwards() {
  static std::vector<std::function<void()>> tasks;
  return tasks;
}

bool turn_queued = false;

void take_turn();

// One warm-up turn at a time, kGapMs from now.
void queue_turn() {
  if (turn_queued) return;
  turn_queued = true;
  QTimer::singleShot(kGapMs, QCoreApplication::instance(), take_turn);
}

// The drawing widgets inside `view`: Qt Quick widgets, which make their OpenGL context on the
// first resize while they have a size.
QList<QWidget*> drawing_widgets(QWidget* view) {
  QList<QWidget*> found;
  for (QWidget* child : view->findChildren<QWidget*>()) {
    if (child->inherits("QQuickWidget")) found.append(child);
  }
  return found;
}

void warm_up(QWidget* view) {
  for (QWidget* surface : drawing_widgets(view)) {
    if (surface->property(kWarmProperty).toBool()) continue;
    surface->setProperty(kWarmProperty, true);
    // The size the pane's layout gives it when shown: the whole view.
    const QSize size = view->size();
    if (size.isEmpty()) continue;
    if (surface->size() != size) surface->setGeometry(QRect(QPoint(0, 0), size));
    QResizeEvent resize(size, QSize());
    QCoreApplication::sendEvent(surface, &resize);
  }
}

void take_turn() {
  turn_queued = false;
  auto& queue = waiting();
  while (!queue.empty()) {
    QPointer<QWidget> view = queue.front();
    queue.pop_front();
    // Shown meanwhile: Qt made its surfaces then.
    if (!view || view->isVisible()) continue;
    warm_up(view);
    break;
  }
  if (!queue.empty()) {
    queue_turn();
  } else if (!afterwards().empty()) {
    // On a turn of its own after the last widget's, one task per turn.
    QTimer::singleShot(kGapMs, QCoreApplication::instance(), [] {
      if (afterwards().empty()) return;
      const std::function<void()> task = std::move(afterwards().front());
      afterwards().erase(afterwards().begin());
      task();
      if (!afterwards().empty() || !waiting().empty()) queue_turn();
    });
  }
}

}  // namespace

void warm_up_when_idle(QWidget* view) {
  if (view == nullptr || QCoreApplication::instance() == nullptr) return;
  waiting().emplace_back(view);
  queue_turn();
}

void after_warm_up(std::function<void()> task) {
  if (!task || QCoreApplication::instance() == nullptr) return;
  afterwards().push_back(std::move(task));
  queue_turn();
}

int views_waiting_to_warm_up() {
  int count = 0;
  for (const auto& view : waiting()) {
    if (view) ++count;
  }
  return count;
}

}  // namespace pelmora::platform::qt
