#pragma once

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

class QWebEnginePage;
class QWidget;

namespace pelmora::platform::qt {

// Lets the page of a browser pane rest while nobody can see it: a hidden pane's page is frozen
// once it has finished loading (its scripts, timers and rendering stop, so a dozen panes behind
// the tabs cost no CPU), and it is woken before the pane shows again and before the program asks
// anything of it (a navigation, a reload, a written document), so the program sees every load
// begin and end as before. A frozen page keeps its document and scroll position: it comes back
// at once, exactly where it was.
//
// Made once per pane; it belongs to the view and goes with it. With PELMORA_PANE_LOG set, every
// change is written to standard error ("pelmora-pane NAME frozen" / "woken"), for the window
// tests, which can only wait for what the program says.
class PaneRest final : public QObject {
 public:
  PaneRest(QWidget* view, QWebEnginePage* page, QString name);

  // The program is about to make a request of the pane: the page must be awake for it.
  void wake();
  // Whether the page rests now (for tests).
  bool resting() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Freezes the page on the next turn of the event loop if the pane is hidden and its page is
  // not loading (the view's own hide handling has run by then).
  void rest_soon();
  void rest_now();
  void activate();
  void log(const char* what) const;

  QString name_;
  QPointer<QWidget> view_;
  QPointer<QWebEnginePage> page_;
  bool loading_ = false;
  bool request_pending_ = false;  // woken for a request whose load has not ended yet
  bool rest_queued_ = false;
};

// Command-line switches for the browser engine that keep its processes few: the panes share one
// renderer process instead of each having its own. Added to QTWEBENGINE_CHROMIUM_FLAGS (what
// the user set there stays, and wins); call before the application object exists.
void share_browser_processes();

}  // namespace pelmora::platform::qt
