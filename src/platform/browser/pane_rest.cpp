#include "platform/browser/pane_rest.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <QtCore/QEvent>
#include <QtCore/QTimer>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWidgets/QWidget>
#include <string>

namespace pelmora::platform::qt {

using Lifecycle = QWebEnginePage::LifecycleState;

namespace {

// How long a page woken for a request of the program stays awake when no load follows it.
constexpr int kRequestGraceMs = 5000;

}  // namespace

PaneRest::PaneRest(QWidget* view, QWebEnginePage* page, QString name)
    : QObject(view), name_(std::move(name)), view_(view), page_(page) {
  view->installEventFilter(this);
  connect(page, &QWebEnginePage::loadStarted, this, [this] { loading_ = true; });
  connect(page, &QWebEnginePage::loadFinished, this, [this] {
    loading_ = false;
    request_pending_ = false;
    rest_soon();
  });
}

void PaneRest::wake() {
  // The request's load announces itself a little later; until it has ended (or, should none
  // follow, for a while) the page stays awake.
  request_pending_ = true;
  QTimer::singleShot(kRequestGraceMs, this, [this] {
    request_pending_ = false;
    rest_soon();
  });
  activate();
}

void PaneRest::activate() {
  if (page_ && page_->lifecycleState() != Lifecycle::Active) {
    page_->setLifecycleState(Lifecycle::Active);
    log("woken");
  }
}

bool PaneRest::resting() const {
  return page_ && page_->lifecycleState() != Lifecycle::Active;
}

bool PaneRest::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_) {
    // Awake before the view shows, so that its first picture is the page as it was.
    if (event->type() == QEvent::Show) activate();
    if (event->type() == QEvent::Hide) rest_soon();
  }
  return false;
}

void PaneRest::rest_soon() {
  if (rest_queued_) return;
  rest_queued_ = true;
  QTimer::singleShot(0, this, [this] {
    rest_queued_ = false;
    rest_now();
  });
}

void PaneRest::rest_now() {
  // A page that is still loading finishes first: the program waits for its end.
  if (!view_ || !page_ || view_->isVisible() || loading_ || request_pending_) return;
  if (page_->lifecycleState() != Lifecycle::Active) return;
  page_->setLifecycleState(Lifecycle::Frozen);
  if (page_->lifecycleState() == Lifecycle::Frozen) log("frozen");
}

void PaneRest::log(const char* what) const {
  static const bool wanted = std::getenv("PELMORA_PANE_LOG") != nullptr;
  if (wanted) std::fprintf(stderr, "pelmora-pane %s %s\n", qPrintable(name_), what);
}

void share_browser_processes() {
  const char* set = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
  const std::string given = set != nullptr ? set : "";
  // One renderer process for every pane: a dozen panes of a few light pages each held a
  // renderer of their own (about 10 MiB each), most of them behind the tabs. The user's own
  // switches come last: for a switch given twice the engine takes the last.
  std::string flags = "--process-per-site --renderer-process-limit=1";
  if (!given.empty()) flags += " " + given;
  ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.c_str(), 1);
}

}  // namespace pelmora::platform::qt
