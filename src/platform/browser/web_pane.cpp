#include "platform/browser/web_pane.h"

#include <cstdlib>

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QTimer>
#include <QtCore/QUuid>
#include <QtCore/QVariant>
#include <QtWebEngineCore/QWebEngineLoadingInfo>
#include <QtWebEngineCore/QWebEngineNewWindowRequest>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineCore/QWebEngineProfile>
#include <QtWebEngineCore/QWebEngineScript>
#include <QtWebEngineCore/QWebEngineScriptCollection>
#include <QtWebEngineCore/QWebEngineSettings>
#include <QtWebEngineCore/QWebEngineUrlRequestInfo>
#include <QtWebEngineCore/QWebEngineUrlRequestInterceptor>
#include <QtWebEngineCore/QWebEngineUrlRequestJob>
#include <QtWebEngineCore/QWebEngineUrlScheme>
#include <QtWebEngineCore/QWebEngineUrlSchemeHandler>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QMenu>
#include <array>
#include <cctype>
#include <functional>

#include "platform/browser/pane_rest.h"
#include "platform/browser/view_warm_up.h"

namespace pelmora::platform::qt {

namespace {

// The program's links, as register_link_schemes was given them.
PaneLinks& pane_links() {
  static PaneLinks links;
  return links;
}

bool scheme_among(const QString& scheme, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (scheme.compare(QLatin1String(name.data(), static_cast<qsizetype>(name.size())),
                       Qt::CaseInsensitive) == 0) {
      return true;
    }
  }
  return false;
}

// Whether a link of the program's plays an episode.
bool plays(const QUrl& url) {
  return scheme_among(url.scheme(), pane_links().playing);
}

// The pointer rests on a link that plays, or one was followed.
void play_ahead() {
  if (pane_links().play_ahead) pane_links().play_ahead();
}

// The addresses the engine loads by itself; the page's script reports every other one.
bool is_web_scheme(const QString& scheme) {
  const QString lower = scheme.toLower();
  return lower == u"http" || lower == u"https" || lower == u"file" || lower == u"about" ||
         lower == u"data" || lower == u"blob";
}

// The name of the profile's property that lists the program's own list pages (local paths).
constexpr char kListPagesProperty[] = "pelmoraListPages";

bool is_link_scheme(const QString& scheme) {
  return scheme_among(scheme, pane_links().schemes);
}

// Whether a page may take its pane to `url`: web addresses, a blank page, the program's link
// schemes (which reach the program, never the engine) and the program's list pages. Anything
// else (the program's embedded resources, other local files, the engine's internal pages) a page
// cannot load into a pane.
bool page_may_reach(const QUrl& url, const QWebEngineProfile* profile) {
  const QString scheme = url.scheme().toLower();
  if (scheme == u"http" || scheme == u"https" || is_link_scheme(scheme)) return true;
  if (scheme == u"about") return url.path() == u"blank";
  if (scheme == u"file" && profile != nullptr) {
    return profile->property(kListPagesProperty).toStringList().contains(url.toLocalFile());
  }
  return false;
}

// What the page's script puts in front of its messages: unique to this run, so that a page's own
// console output is never taken for one.
const QString& message_prefix() {
  static const QString prefix =
      QStringLiteral("pelmora-") + QUuid::createUuid().toString(QUuid::Id128) + QLatin1Char(':');
  return prefix;
}

// A script compiled in as a resource. Without it a pane would follow whatever a page asks for:
// a build that lost one does not run.
QString script_resource(const QString& name) {
  QFile file(QStringLiteral(":/browser/") + name);
  if (!file.open(QIODevice::ReadOnly))
    qFatal("the browser panes' script %s is missing", qPrintable(name));
  return QString::fromUtf8(file.readAll());
}

// The navigation-watch script (watch_script.js), run in every frame as the document is created,
// with this run's message prefix and the schemes whose links play.
QString watch_script() {
  static const QString source = script_resource(QStringLiteral("watch_script.js"));
  QStringList playing;
  for (const std::string& scheme : pane_links().playing) {
    playing << QLatin1Char('\'') + QString::fromStdString(scheme).toLower() + QStringLiteral(":'");
  }
  return QString(source)
      .replace(QStringLiteral("@PREFIX@"), message_prefix())
      .replace(QStringLiteral("@PLAYING@"),
               QLatin1Char('[') + playing.join(QLatin1Char(',')) + QLatin1Char(']'));
}

// Run when the view asks for a context menu (read_menu_href.js): the link the watch remembered,
// or else the focused element's address.
const QString& read_menu_href() {
  static const QString source = script_resource(QStringLiteral("read_menu_href.js"));
  return source;
}

// The program's embedded resources are never shown in a pane: no page, frame or image of a
// page may load them.
class ResourceGuard : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    if (info.requestUrl().scheme().compare(u"qrc", Qt::CaseInsensitive) == 0) info.block(true);
  }
};

// A link that reaches the engine was not followed by the page (the script stopped it, or the
// pane loads it because the program let it go): there is nothing to show.
class LinkSchemeHandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
  void requestStarted(QWebEngineUrlRequestJob* job) override {
    job->fail(QWebEngineUrlRequestJob::RequestAborted);
  }
};

std::string text_of(const QUrl& url) {
  return url.toString(QUrl::FullyEncoded).toStdString();
}

// The address up to its query, to recognise a navigation whose query QUrl rewrote.
std::string without_query(const QUrl& url) {
  return text_of(url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment));
}

// Whether the address holds a "%" that does not begin a two-digit escape (the service's
// "%uXXXX" form): QUrl rewrites every "%" of such an address to "%25", the engine's own address
// parser keeps them.
bool has_loose_percent(const std::string& address) {
  for (size_t i = 0; i < address.size(); ++i) {
    if (address[i] != '%') continue;
    if (i + 2 >= address.size() || !std::isxdigit(static_cast<unsigned char>(address[i + 1])) ||
        !std::isxdigit(static_cast<unsigned char>(address[i + 2]))) {
      return true;
    }
  }
  return false;
}

// `text` as a JavaScript string literal made of printable ASCII only.
QString js_string(const QString& text) {
  QString literal = QStringLiteral("'");
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit < 0x20 || unit > 0x7E || unit == u'\\' || unit == u'\'' || unit == u'<' ||
        unit == u'>') {
      literal += QStringLiteral("\\u%1").arg(static_cast<uint>(unit), 4, 16, QLatin1Char('0'));
    } else {
      literal += c;
    }
  }
  return literal + QLatin1Char('\'');
}

// Runs while an engine callback is on the stack; requests the program makes meanwhile are
// carried out on the next turn of the event loop. The program's handlers may destroy the peer.
class CallbackScope {
 public:
  CallbackScope(const QPointer<WebPanePeer>& peer, int& depth) : peer_(peer), depth_(depth) {
    ++depth_;
  }
  ~CallbackScope() {
    if (peer_) --depth_;
  }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

 private:
  const QPointer<WebPanePeer>& peer_;
  int& depth_;
};

}  // namespace

// The page of one pane: the engine's callbacks go to the peer while it exists.
class WebPanePage : public QWebEnginePage {
 public:
  WebPanePage(QWebEngineProfile* profile, QObject* parent, WebPanePeer* peer)
      : QWebEnginePage(profile, parent), peer_(peer) {}

  void detach() { peer_ = nullptr; }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override {
    if (peer_ == nullptr) return false;
    // Frames load what their document asks for; only the pane's own address is the program's.
    if (!main_frame) return true;
    const bool own_kind = type == NavigationTypeTyped || type == NavigationTypeReload ||
                          type == NavigationTypeBackForward;
    return peer_->accept_navigation(text_of(url), is_web_scheme(url.scheme()), own_kind);
  }

  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                int line, const QString& source) override {
    if (message.startsWith(message_prefix())) {
      const QString body = message.mid(message_prefix().size());
      static const QString kNavigate = QStringLiteral("navigate ");
      static const QString kWindow = QStringLiteral("window ");
      if (peer_ == nullptr) return;
      if (body.startsWith(kNavigate)) {
        const QString address = body.mid(kNavigate.size());
        // A link that plays asks the service for the episode first: the player's library
        // loads meanwhile, off this thread, instead of after the answer.
        if (plays(QUrl(address))) play_ahead();
        peer_->page_navigation(address.toStdString());
      } else if (body == QLatin1String("hover-play")) {
        // The pointer rests on a link that plays: a click is likely to follow.
        play_ahead();
      } else if (body.startsWith(kWindow)) {
        // Out of the engine's callback, as for the windows the engine asks for.
        QPointer<WebPanePage> self(this);
        const std::string address = body.mid(kWindow.size()).toStdString();
        QTimer::singleShot(0, this, [self, address] {
          if (self && self->peer_ != nullptr) self->peer_->new_window(address);
        });
      }
      return;
    }
    if (silent()) return;
    QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
  }

  void javaScriptAlert(const QUrl& origin, const QString& message) override {
    if (silent()) return;
    QWebEnginePage::javaScriptAlert(origin, message);
  }
  bool javaScriptConfirm(const QUrl& origin, const QString& message) override {
    if (silent()) return false;
    return QWebEnginePage::javaScriptConfirm(origin, message);
  }
  bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& value,
                        QString* result) override {
    if (silent()) return false;
    return QWebEnginePage::javaScriptPrompt(origin, message, value, result);
  }

  QWebEnginePage* createWindow(WebWindowType type) override;

 public:
  // A request for a new window that reached the engine (the page's script hands over the ones
  // it can see without one).
  void window_requested(const QUrl& address);

 private:
  bool silent() const { return peer_ == nullptr || peer_->browser().silent(); }

  WebPanePeer* peer_;
};

QWebEnginePage* WebPanePage::createWindow(WebWindowType) {
  // No page is ever made for a window a page asks for: the engine then offers the request with
  // its address (newWindowRequested), which goes to the program, and drops the window it had
  // begun. A page that asks for a thousand windows of any kind (a form or a link aimed at a new
  // window, a script, a frame's own window.open) keeps none of them.
  return nullptr;
}

void WebPanePage::window_requested(const QUrl& address) {
  if (peer_ == nullptr) return;
  // A window without an address (or a blank one) is announced with none.
  // (The engine gives a blank window's address as "about:blank#blocked".)
  const std::string text =
      address.isEmpty() || address.scheme() == u"about" ? std::string() : text_of(address);
  // Out of the engine's callback: the opening pane may navigate at once.
  QPointer<WebPanePage> self(this);
  QTimer::singleShot(0, this, [self, text] {
    if (self && self->peer_ != nullptr) self->peer_->new_window(text);
  });
}

void register_link_schemes(PaneLinks links) {
  static bool registered = false;
  if (registered) return;
  registered = true;
  pane_links() = std::move(links);
  for (const std::string& name : pane_links().schemes) {
    QWebEngineUrlScheme scheme(QByteArray::fromStdString(name));
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags({});
    QWebEngineUrlScheme::registerScheme(scheme);
  }
  // The engine's widgets draw through OpenGL contexts shared with the application's.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // The browser engine sets this variable when its first page is made, by then with the
  // player's threads running. Adding a variable moves the whole environment while those threads
  // may read it (the player's font set-up does): a crash. Set here, before any thread runs, the
  // engine's write only replaces the value in place.
  ::setenv("force_s3tc_enable", "true", 0);
}

QWebEngineProfile* make_profile(const QString& program_folder, const QStringList& list_pages,
                                QObject* parent) {
  // A program folder where nothing can be written (a read-only medium) keeps the pages' storage
  // in memory for the run.
  const bool keeps_storage = QFileInfo(program_folder).isWritable();
  auto* profile =
      new QWebEngineProfile(keeps_storage ? QStringLiteral("pelmora") : QString(), parent);
  if (keeps_storage) {
    const QString web_folder = program_folder + QStringLiteral("/web");
    profile->setPersistentStoragePath(web_folder + QStringLiteral("/storage"));
    profile->setCachePath(web_folder + QStringLiteral("/cache"));
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
  }

  QWebEngineSettings* settings = profile->settings();
  // The engine never hands an address to the desktop's URL opener.
  settings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
  // No window opens without the user's click: the panes' script hands a page's own requests
  // over without one, and a flood of requests it cannot see (a frame's) costs nothing.
  settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  // The list pages are local files that show text from the service: they reach nothing remote.
  settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);

  QStringList list_page_paths;
  for (const QString& page : list_pages) {
    list_page_paths.append(QDir::cleanPath(program_folder + QLatin1Char('/') + page));
  }
  profile->setProperty(kListPagesProperty, list_page_paths);
  profile->setUrlRequestInterceptor(new ResourceGuard(profile));

  auto* handler = new LinkSchemeHandler(profile);
  for (const std::string& name : pane_links().schemes) {
    profile->installUrlSchemeHandler(QByteArray::fromStdString(name), handler);
  }

  QWebEngineScript script;
  script.setName(QStringLiteral("pelmora-navigation-watch"));
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(watch_script());
  profile->scripts()->insert(script);
  return profile;
}

WebPanePeer::WebPanePeer(WebBrowser& model, QWidget* parent, QWebEngineProfile* profile)
    : QtControlPeer(model, new QWebEngineView(parent)),
      browser_(model),
      view_(static_cast<QWebEngineView*>(widget())),
      silent_seen_(model.silent()) {
  page_ = new WebPanePage(profile, view_, this);
  view_->setPage(page_);
  connect(page_, &QWebEnginePage::newWindowRequested, page_,
          [page = page_.data()](QWebEngineNewWindowRequest& request) {
            page->window_requested(request.requestedUrl());
          });
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) { context_menu(position); });
  connect(page_, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
    loading_changed(info.status(), text_of(info.url()), info.errorDomain(), info.errorCode());
  });
  // The engine makes the view's drawing widget with its first page; a pane on a hidden tab gets
  // it ready while the program is idle instead of on the click that shows the tab.
  connect(
      page_, &QWebEnginePage::loadFinished, this,
      [this] {
        if (view_ && !view_->isVisible()) warm_up_when_idle(view_);
      },
      Qt::SingleShotConnection);
  rest_ = new PaneRest(view_, page_, QString::fromStdString(model.name()));
}

WebPanePeer::~WebPanePeer() {
  if (page_) page_->detach();
  // The view may be inside one of its own callbacks (a handler that closed the window).
  if (view_) {
    view_->hide();
    view_->deleteLater();
  }
}

void WebPanePeer::sync_all() {
  QtControlPeer::sync_all();
  if (applied_any_) return;
  // Requests the program made before the pane was on screen: where it is, not how it got there.
  const std::vector<PaneRequest>& requests = browser_.requests();
  for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
    if (it->kind == PaneRequest::Kind::kNavigate || it->kind == PaneRequest::Kind::kWriteDocument) {
      applied_any_ = true;
      ++generation_;
      carry_out(*it);
      return;
    }
  }
}

void WebPanePeer::changed_own(Property what) {
  if (what != Property::kNavigation) return;
  // The model announces a new request, or a change of Silent (which the page reads live).
  if (browser_.silent() != silent_seen_) {
    silent_seen_ = browser_.silent();
    return;
  }
  const PaneRequest* request = browser_.last_request();
  if (request == nullptr) return;
  applied_any_ = true;
  ++generation_;
  if (in_engine_callback_ > 0) {
    QTimer::singleShot(0, this, [this, copy = *request] { carry_out(copy); });
    return;
  }
  carry_out(*request);
}

void WebPanePeer::carry_out(const PaneRequest& request) {
  if (!view_) return;
  if (rest_) rest_->wake();
  refused_.clear();
  switch (request.kind) {
    case PaneRequest::Kind::kNavigate:
      load_address(request.text);
      break;
    case PaneRequest::Kind::kRefresh:
      view_->reload();
      break;
    case PaneRequest::Kind::kGoBack:
      view_->back();
      break;
    case PaneRequest::Kind::kGoForward:
      view_->forward();
      break;
    case PaneRequest::Kind::kWriteDocument:
      // A written document has no address of its own: it reaches no file and no site's storage.
      page_->setHtml(QString::fromStdString(request.text), QUrl(QStringLiteral("about:blank")));
      break;
    case PaneRequest::Kind::kCopy:
      page_->triggerAction(QWebEnginePage::Copy);
      break;
    case PaneRequest::Kind::kPaste:
      page_->triggerAction(QWebEnginePage::Paste);
      break;
  }
}

void WebPanePeer::load_address(const std::string& address) {
  const QString text = QString::fromStdString(address);
  // A local path (the list pages) is a file address; everything else is taken as written.
  const QUrl url = text.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(text) : QUrl(text);
  if (!url.isValid() || url.isEmpty()) return;
  scripted_.clear();
  if (text.startsWith(QLatin1Char('/')) || !is_web_scheme(url.scheme()) ||
      !has_loose_percent(address)) {
    page_->load(url);
    return;
  }
  // The address must reach the service byte for byte: the page's document hands it to the
  // engine's own parser. The engine reports the navigation with QUrl's copy of it (its query
  // rewritten), which is this load and not the page's.
  scripted_ = without_query(url);
  page_->runJavaScript(
      QStringLiteral("window.location.href = ") + js_string(text) + QLatin1Char(';'),
      QWebEngineScript::ApplicationWorld);
}

bool WebPanePeer::accept_navigation(const std::string& address, bool web_address, bool own_kind) {
  // The program's own loads, reloads and history steps were announced before they started.
  if (own_kind) return true;
  if (!scripted_.empty() && without_query(QUrl(QString::fromStdString(address))) == scripted_) {
    scripted_.clear();
    return true;
  }
  // A link address here was reported by the page's script already, as written (the engine's
  // copy of it is mangled); the page never follows it.
  if (!web_address) return false;
  // Where pages may not go, a page cannot take its pane either; the program is not asked.
  if (!page_may_reach(QUrl(QString::fromStdString(address)), page_->profile())) {
    refused_ = address;
    return false;
  }
  QPointer<WebPanePeer> self(this);
  const unsigned long long generation = generation_;
  bool cancel = false;
  {
    CallbackScope scope(self, in_engine_callback_);
    cancel = browser_.raise_before_navigate2(address);
    if (!self) return false;
  }
  // A handler that sent this pane somewhere else wins over the page's navigation.
  const bool go = !cancel && generation_ == generation;
  if (!go) refused_ = address;
  return go;
}

void WebPanePeer::page_navigation(const std::string& address) {
  // Where pages may not go (the program's embedded resources, say), a page cannot take its pane
  // either; the program is not asked.
  if (!page_ || !page_may_reach(QUrl(QString::fromStdString(address)), page_->profile())) return;
  QPointer<WebPanePeer> self(this);
  const unsigned long long generation = generation_;
  {
    CallbackScope scope(self, in_engine_callback_);
    const bool cancel = browser_.raise_before_navigate2(address);
    if (!self || cancel || generation_ != generation) return;
  }
  // Not cancelled: the pane goes there itself (the page was stopped), unless the program asks
  // for something else first. Of a burst of such navigations (a page that opens a thousand
  // windows) only the last is loaded: each would replace the one before anyway.
  const bool scheduled = pending_load_.has_value();
  pending_load_ = PendingLoad{address, generation};
  if (scheduled) return;
  QTimer::singleShot(0, this, [this] {
    const PendingLoad load = *pending_load_;
    pending_load_.reset();
    if (generation_ != load.generation) return;
    load_address(load.address);
  });
}

void WebPanePeer::new_window(const std::string& address) {
  QPointer<WebPanePeer> self(this);
  const bool cancel = browser_.raise_new_window2(address);
  if (!self || cancel) return;
  // A window without an address has nowhere to go.
  if (address.empty() || address == "about:blank") return;
  // There are no other browser windows: the address opens in this pane, as a navigation of it.
  page_navigation(address);
}

void WebPanePeer::context_menu(const QPoint& position) {
  if (!page_) return;
  QPointer<WebPanePeer> self(this);
  page_->runJavaScript(
      read_menu_href(), QWebEngineScript::MainWorld, [self, position](const QVariant& result) {
        if (!self || !self->view_) return;
        const bool show = self->browser_.raise_context_menu(result.toString().toStdString());
        if (!self || !self->view_ || !show) return;
        QMenu* menu = self->view_->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(self->view_->mapToGlobal(position));
      });
}

void WebPanePeer::loading_changed(int status, const std::string& url, int domain, int code) {
  QPointer<WebPanePeer> self(this);
  CallbackScope scope(self, in_engine_callback_);
  // A navigation refused before it started loads nothing: no DownloadBegin, no DownloadComplete.
  if (status == QWebEngineLoadingInfo::LoadStartedStatus && !refused_.empty() && url == refused_) {
    unstarted_ = url;
    refused_.clear();
    return;
  }
  if (status != QWebEngineLoadingInfo::LoadStartedStatus && !unstarted_.empty() &&
      url == unstarted_) {
    unstarted_.clear();
    return;
  }
  switch (status) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      browser_.raise_download_begin();
      return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      browser_.raise_download_complete();
      return;
    case QWebEngineLoadingInfo::LoadFailedStatus:
      break;
    default:
      return;
  }
  // An HTTP status stays as it is; a network failure is the engine's negative error code.
  // A navigation that was abandoned (refused here, or replaced by another) did not fail.
  const int status_code = domain == QWebEngineLoadingInfo::HttpStatusCodeDomain ? code
                          : code > 0                                            ? -code
                                                                                : code;
  constexpr int kAborted = -3;
  if (status_code != kAborted) {
    browser_.raise_navigate_error(url, status_code);
    if (!self) return;
  }
  browser_.raise_download_complete();
}

std::unique_ptr<WebPanePeer> make_web_pane(WebBrowser& model, QWidget* parent,
                                           QWebEngineProfile* profile) {
  auto peer = std::make_unique<WebPanePeer>(model, parent, profile);
  peer->sync_all();
  return peer;
}

}  // namespace pelmora::platform::qt
