#pragma once

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/qt_control_peer.h"
#include "platform/web_browser.h"

class QWebEngineProfile;
#include <QtWebEngineWidgets/QWebEngineView>

namespace pelmora::platform::qt {

class WebPanePage;
class PaneRest;

// What the panes take to be the program's links, rather than the browser engine's.
struct PaneLinks {
  // The schemes a pane intercepts and hands to the program (names, without "://").
  std::vector<std::string> schemes;
  // Those of them whose links lead to an episode playing.
  std::vector<std::string> playing;
  // Called when the pointer rests on such a link, and when one is followed (the player's
  // library can load meanwhile). May be empty.
  std::function<void()> play_ahead;
};

// Registers `links` with the engine, so that a link in one of its schemes reaches the panes
// instead of being blocked by Chromium, and lets the engine share its OpenGL contexts with the
// widgets. Must be called before the QApplication exists; the first call counts.
void register_link_schemes(PaneLinks links);

// The one persistent profile of the program's panes: storage and cache under
// `program_folder` + "/web", a handler for each link scheme (it fails the request quietly: a
// pane handles those links before the engine loads them), no address ever handed to the
// desktop's URL opener, and the navigation-watch script in every frame of every page.
// `list_pages` names the program's own local pages (file names in `program_folder`), the only
// local files a page may take its pane to.
QWebEngineProfile* make_profile(const QString& program_folder, const QStringList& list_pages,
                                QObject* parent);

// The on-screen pane of a WebBrowser control: a QWebEngineView that carries out the program's
// requests and raises the control's events for what the page does.
//
// BeforeNavigate2 comes from three places: the program's own `navigate` (the model raises it
// before the request reaches this peer, so it is not raised again here); the navigation-watch
// script, for every address outside http, https, file, about, data and blob, exactly as the page
// wrote it (the page never follows such a link: when the program does not cancel it, the pane
// loads it itself); and the engine's navigation requests of the top frame for ordinary web
// addresses that the page starts (link clicks, scripts, forms, redirects).
//
// DownloadBegin is a load starting; DownloadComplete is a load ending in any way, after
// NavigateError when it failed (the control raised DownloadComplete after every download). A
// navigation that was cancelled or replaced is neither a download nor a failure.
class WebPanePeer : public QObject, public QtControlPeer {
  Q_OBJECT

 public:
  WebPanePeer(WebBrowser& model, QWidget* parent, QWebEngineProfile* profile);
  ~WebPanePeer() override;

  WebBrowser& browser() const { return browser_; }
  QWebEngineView* view() const { return view_; }

  // Applies the common properties and, once, the program's last navigation or written document
  // (requests made before the peer existed).
  void sync_all() override;

  // Called by the pane's page (engine callbacks). Each returns after the program's handlers ran;
  // the peer may have been destroyed by them, which the page checks.
  bool accept_navigation(const std::string& address, bool web_address, bool own_kind);
  void page_navigation(const std::string& address);
  void new_window(const std::string& address);
  void context_menu(const QPoint& position);

 protected:
  void changed_own(Property what) override;

 private:
  void carry_out(const PaneRequest& request);
  void load_address(const std::string& address);
  void loading_changed(int status, const std::string& url, int domain, int code);

  WebBrowser& browser_;
  QPointer<QWebEngineView> view_;
  QPointer<WebPanePage> page_;
  // Freezes the page while the pane is hidden; woken for every request of the program.
  QPointer<PaneRest> rest_;
  bool silent_seen_ = false;
  bool applied_any_ = false;
  // Counts the requests carried out, so that a navigation whose handler made a newer request
  // of this pane gives way to it.
  unsigned long long generation_ = 0;
  // The last navigation of the page that was refused, and the load the engine then announced
  // for it: neither is a download.
  std::string refused_;
  std::string unstarted_;
  // An address the program sent this pane to through the page's script, up to its query: the
  // engine's report of that navigation is the program's own load.
  std::string scripted_;
  // Inside an engine callback a request is carried out on the next turn of the event loop.
  int in_engine_callback_ = 0;
  // The page's navigation the pane carries out itself on the next turn of the event loop.
  struct PendingLoad {
    std::string address;
    unsigned long long generation = 0;
  };
  std::optional<PendingLoad> pending_load_;
};

// Makes the pane of `model` inside `parent`, with its page on `profile`, and applies the model's
// state once. The view belongs to `parent`; the peer deletes it when it goes first.
std::unique_ptr<WebPanePeer> make_web_pane(WebBrowser& model, QWidget* parent,
                                           QWebEngineProfile* profile);

}  // namespace pelmora::platform::qt
