#include "platform/browser/view_warm_up.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QResizeEvent>
#include <QtWidgets/QWidget>
#include <deque>

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
    // What takes long is the context and the scene it draws with; its picture buffers are made
    // at the size it has. A hidden pane gets them at the least size now, and at its own size
    // only when it shows (the widget takes the resize that is pending then), so that a dozen
    // panes behind the tabs do not each hold full-size buffers no one sees.
    const QSize least(1, 1);
    surface->setGeometry(QRect(QPoint(0, 0), least));
    QResizeEvent resize(least, QSize());
    QCoreApplication::sendEvent(surface, &resize);
    surface->setGeometry(QRect(QPoint(0, 0), size));
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
  if (!queue.empty()) queue_turn();
}

}  // namespace

void warm_up_when_idle(QWidget* view) {
  if (view == nullptr || QCoreApplication::instance() == nullptr) return;
  waiting().emplace_back(view);
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
