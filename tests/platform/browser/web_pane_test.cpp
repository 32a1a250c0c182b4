#include "platform/browser/web_pane.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QProcessEnvironment>
#include <QtCore/QTimer>
#include <QtGui/QMouseEvent>
#include <QtGui/QScreen>
#include <QtWebEngineCore/QWebEnginePage>
#include <QtWebEngineCore/QWebEngineProfile>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLabel>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/browser/view_warm_up.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/ui/qt_backend.h"
#include "platform/web_browser.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"
#include "support/virtual_screen.h"
#include "util/link_schemes.h"

namespace pelmora::platform::qt {
namespace {

using pelmora::testing::LoopbackServer;
using pelmora::testing::TempFolder;
using pelmora::testing::VirtualScreen;

constexpr char kEndMarker[] = "http://pelmora-end.invalid/";

// Each test runs in a process of its own, started by the test itself: the engine must be set up
// before the application exists (other tests of this program make a plain core application),
// and the engine's own library trips two of AddressSanitizer's checks that our code does not
// (a sized delete of the wrong size inside Chromium, and leaks of its singletons at exit, which
// lsan.supp names).
constexpr char kInOwnProcess[] = "PELMORA_WEB_PANE_TEST_PROCESS";

bool in_own_process() {
  return !qEnvironmentVariableIsEmpty(kInOwnProcess);
}

// Runs the current test in a fresh process; true when it passed there. With `on_screen` the
// process draws on a virtual screen of its own.
void run_in_own_process(bool on_screen = false) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
  const std::filesystem::path suppressions =
      std::filesystem::path(PELMORA_SOURCE_DIR) / "tests/platform/browser/lsan.supp";
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(kInOwnProcess, QStringLiteral("1"));
  const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
  environment.insert(QStringLiteral("ASAN_OPTIONS"),
                     (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) +
                         QStringLiteral("new_delete_type_mismatch=0"));
  const QString lsan = environment.value(QStringLiteral("LSAN_OPTIONS"));
  environment.insert(QStringLiteral("LSAN_OPTIONS"),
                     (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':')) +
                         QStringLiteral("suppressions=") +
                         QString::fromStdString(suppressions.string()));
  std::unique_ptr<VirtualScreen> screen;
  if (on_screen) {
    screen = std::make_unique<VirtualScreen>("800x600x24");
    ASSERT_FALSE(screen->display().empty()) << "Xvfb could not be started";
    environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(screen->display()));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  }
  QProcess child;
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  child.start(QString::fromStdString(program.string()),
              {QStringLiteral("--gtest_filter=%1.%2").arg(info->test_suite_name(), info->name())});
  const bool finished = child.waitForFinished(100000);
  if (!finished) child.kill();
  const std::string output = child.readAll().toStdString();
  ASSERT_TRUE(finished) << "the test's process did not end\n" << output;
  ASSERT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) << output;
  ASSERT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// How often a pane got the player ready for a link that plays.
int plays_ahead = 0;

// The application of a test's own process, with the engine and the link schemes set up first.
QApplication& application() {
  static QApplication* app = [] {
    // As root (CI) Chromium refuses its sandbox; a virtual screen has no GPU. Without a display
    // the panes run on the offscreen platform, which the engine supports.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Without a session bus, the desktop platform's D-Bus thread would start the bus's launcher
    // with fork(), which can deadlock under AddressSanitizer: there is no bus to use.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
      qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
    // The program's links, counting the times a pane gets the player ready.
    PaneLinks own;
    for (const std::string_view link : links::kPaneLinks) {
      own.schemes.emplace_back(links::scheme_name(link));
    }
    for (const std::string_view link : links::kPlayingLinks) {
      own.playing.emplace_back(links::scheme_name(link));
    }
    own.play_ahead = [] { ++plays_ahead; };
    register_link_schemes(std::move(own));
    static int argc = 1;
    static char name[] = "platform_browser_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The one profile of this process (the engine keeps one per storage name).
QWebEngineProfile* profile() {
  static TempFolder folder;
  static QWebEngineProfile* made =
      make_profile(QString::fromStdString(folder.path()),
                   {QStringLiteral("c.htm"), QStringLiteral("f.htm")}, nullptr);
  return made;
}

// Runs the event loop until `done` holds or `limit_ms` pass.
template <typename Done>
bool run_until(Done done, int limit_ms = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < limit_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return done();
}

void run_for(int ms) {
  run_until([] { return false; }, ms);
}

std::string page(const std::string& title, const std::string& body) {
  return "<!doctype html><html><head><meta charset='utf-8'><title>" + title +
         "</title></head><body>" + body + "</body></html>";
}

LoopbackServer::Reply html(const std::string& text) {
  return {200, text, "text/html; charset=utf-8", 0};
}

class WebPaneTest : public ::testing::Test {
 protected:
  // Whether the test's process draws on a virtual screen (to check what X shows).
  virtual bool on_screen() const { return false; }

  void SetUp() override {
    if (!in_own_process()) {
      delegated_ = true;
      run_in_own_process(on_screen());
      return;
    }
    application();
    server_.on("/", [](const std::string&, const std::string&) {
      return html(page("home",
                       "<a id='razavov' href='razavov://123-2-5-%u4E2D'>r</a>"
                       "<a id='open' href='open://3'>o</a>"
                       "<a id='delk' href='delk://1/2'>d</a>"
                       "<a id='next' href='/next'>n</a>"
                       "<a id='blank' href='/next' target='_blank'>b</a>"
                       "<a id='blankopen' href='open://3' target='_blank'>bo</a>"
                       "<script>window.stayed = 'yes';</script>"));
    });
    server_.on("/next", [](const std::string&, const std::string&) {
      return html(page("next", "<p>next page</p>"));
    });
    window_ = std::make_unique<QWidget>();
    window_->resize(640, 480);
    pane_.move(0, 0, 640, 480);
    pane_.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
      before_.push_back(url);
      cancel = cancel_ && cancel_(url);
    };
    pane_.on_download_complete = [this] { ++completed_; };
    pane_.on_navigate_error = [this](const std::string& url, int status) {
      errors_.push_back({url, status});
    };
    peer_ = make_web_pane(pane_, window_.get(), profile());
    window_->show();
  }

  void TearDown() override {
    if (delegated_) return;
    peer_.reset();
    window_.reset();
    run_for(50);  // the view goes on the next turn of the loop
  }

  std::string url(const std::string& path = "") const { return server_.base_url() + path; }

  QVariant run_js(const QString& script) {
    QVariant result;
    bool done = false;
    peer_->view()->page()->runJavaScript(script, [&](const QVariant& value) {
      result = value;
      done = true;
    });
    run_until([&] { return done; });
    return result;
  }

  // Loads the home page through the program's own navigation and waits for it.
  void open_home() {
    pane_.navigate(url());
    ASSERT_TRUE(run_until([&] { return completed_ > 0 && title() == "home"; }));
  }

  std::string title() const { return peer_->view()->title().toStdString(); }

  bool delegated_ = false;
  LoopbackServer server_;
  WebBrowser pane_{nullptr, "Web1"};
  std::unique_ptr<QWidget> window_;
  std::unique_ptr<WebPanePeer> peer_;
  std::function<bool(const std::string&)> cancel_;
  std::vector<std::string> before_;
  int completed_ = 0;
  std::vector<std::pair<std::string, int>> errors_;
};

TEST_F(WebPaneTest, LinksOfTheProgramsSchemesArriveAsWrittenAndThePageStays) {
  if (delegated_) return;
  open_home();
  const int ahead = plays_ahead;
  ASSERT_EQ(before_, std::vector<std::string>{url()}) << "the program's own navigation once";
  cancel_ = [](const std::string& address) { return address.find("://") != std::string::npos; };
  for (const char* id : {"razavov", "open", "delk"}) {
    before_.clear();
    run_js(QStringLiteral("document.getElementById('%1').click()").arg(QLatin1String(id)));
    EXPECT_TRUE(run_until([&] { return !before_.empty(); })) << id;
  }
  before_.clear();
  run_js(
      QStringLiteral("document.getElementById('razavov').click();"
                     "document.getElementById('open').click();"
                     "document.getElementById('delk').click();"));
  ASSERT_TRUE(run_until([&] { return before_.size() == 3; }));
  EXPECT_EQ(before_,
            (std::vector<std::string>{"razavov://123-2-5-%u4E2D", "open://3", "delk://1/2"}));
  run_for(300);
  EXPECT_EQ(title(), "home");
  EXPECT_EQ(run_js(QStringLiteral("window.stayed")).toString(), QStringLiteral("yes"));
  EXPECT_TRUE(errors_.empty());
  EXPECT_EQ(plays_ahead - ahead, 2) << "each link that plays readies the player; list links do not";
}

TEST_F(WebPaneTest, AWebLinkTheProgramLetsGoLoadsAndTheEndMarkerIsCancelled) {
  if (delegated_) return;
  open_home();
  cancel_ = [](const std::string& address) { return address.starts_with(kEndMarker); };

  before_.clear();
  int begun = 0;
  pane_.on_download_begin = [&] { ++begun; };
  completed_ = 0;
  run_js(QStringLiteral("location.href = '%1'").arg(QLatin1String(kEndMarker)));
  ASSERT_TRUE(run_until([&] { return !before_.empty(); }));
  EXPECT_EQ(before_, std::vector<std::string>{kEndMarker});
  run_for(300);
  EXPECT_EQ(title(), "home");
  EXPECT_TRUE(errors_.empty()) << "a cancelled navigation is no failure";
  EXPECT_EQ(begun, 0) << "a cancelled navigation downloads nothing";
  EXPECT_EQ(completed_, 0);

  before_.clear();
  run_js(QStringLiteral("document.getElementById('next').click()"));
  ASSERT_TRUE(run_until([&] { return title() == "next"; }));
  EXPECT_EQ(before_, std::vector<std::string>{url("next")});
  EXPECT_EQ(pane_.location_url(), url("next"));
}

TEST_F(WebPaneTest, ALinkOfTheProgramsSchemesThatIsNotCancelledIsTakenByThePane) {
  if (delegated_) return;
  open_home();
  run_js(QStringLiteral("document.getElementById('open').click()"));
  ASSERT_TRUE(run_until([&] { return before_.size() == 2; }));
  EXPECT_EQ(before_.back(), "open://3");
  EXPECT_EQ(pane_.location_url(), "open://3");
  // The pane loads it itself; nothing shows it, and it is not announced a second time.
  run_for(500);
  EXPECT_EQ(before_.size(), 2u);
}

TEST_F(WebPaneTest, AWrittenDocumentIsShown) {
  if (delegated_) return;
  pane_.navigate("about:blank");
  pane_.write_document(page("placeholder", "<p id='t'>没有正在播放的网络影片</p>"));
  ASSERT_TRUE(run_until([&] { return title() == "placeholder"; }));
  EXPECT_EQ(run_js(QStringLiteral("document.getElementById('t').textContent")).toString(),
            QStringLiteral("没有正在播放的网络影片"));
}

TEST_F(WebPaneTest, ALocalPathIsLoadedAsAFile) {
  if (delegated_) return;
  TempFolder folder;
  folder.write("c.htm", page("list", "<a href='open://1'>1</a>"));
  pane_.navigate(folder.file("c.htm"));
  ASSERT_TRUE(run_until([&] { return title() == "list"; }));
  EXPECT_EQ(peer_->view()->url(),
            QUrl::fromLocalFile(QString::fromStdString(folder.file("c.htm"))));
}

TEST_F(WebPaneTest, AHandlerThatSendsThePaneElsewhereWinsOverThePagesNavigation) {
  if (delegated_) return;
  server_.on("/other",
             [](const std::string&, const std::string&) { return html(page("other", "")); });
  open_home();
  pane_.on_before_navigate2 = [this](const std::string& address, bool&) {
    before_.push_back(address);
    if (address == url("next")) pane_.navigate(url("other"));
  };
  run_js(QStringLiteral("document.getElementById('next').click()"));
  ASSERT_TRUE(run_until([&] { return title() == "other"; }));
  run_for(300);
  EXPECT_EQ(title(), "other");
  EXPECT_EQ(before_.back(), url("other"));
}

TEST_F(WebPaneTest, AFailedLoadRaisesNavigateErrorThenDownloadComplete) {
  if (delegated_) return;
  // A port nothing listens on: the connection is refused.
  std::string refused;
  {
    LoopbackServer gone;
    refused = gone.base_url() + "missing";
  }
  std::vector<std::string> order;
  pane_.on_navigate_error = [&](const std::string& address, int status) {
    errors_.push_back({address, status});
    order.push_back("error");
  };
  pane_.on_download_complete = [&] { order.push_back("complete"); };
  pane_.navigate(refused);
  ASSERT_TRUE(run_until([&] { return !order.empty() && order.back() == "complete"; }));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].first, refused);
  EXPECT_LT(errors_[0].second, 0) << "a network failure is a negative code";
  EXPECT_EQ(order, (std::vector<std::string>{"error", "complete"}));

  // A page the service does not have, with no body of its own.
  order.clear();
  pane_.navigate(url("missing"));
  ASSERT_TRUE(run_until([&] { return !order.empty() && order.back() == "complete"; }));
  ASSERT_EQ(errors_.size(), 2u);
  EXPECT_EQ(errors_[1], std::make_pair(url("missing"), 404));
}

// The program's addresses hold the service's "%uXXXX" escapes; they reach the service exactly
// as the program wrote them, whatever the pane showed before (nothing yet, a page, a failed
// load), and each is announced to the program once.
TEST_F(WebPaneTest, AnAddressWithTheServicesEscapesReachesTheServiceByteForByte) {
  if (delegated_) return;
  std::vector<std::string> queries;
  server_.on("/pp.htm", [&](const std::string&, const std::string& query) {
    queries.push_back(query);
    return html(page("list " + std::to_string(queries.size()), "<p>episodes</p>"));
  });
  const std::string first = "pp.htm?101-1-1-%u6D4B%u8BD5-0";
  const std::string second = "pp.htm?101-1-2-%u5C71 %E4%B8%AD%-25";
  std::string refused;
  {
    LoopbackServer gone;
    refused = gone.base_url() + "missing";
  }
  pane_.navigate(url(first));  // the pane has shown nothing yet
  ASSERT_TRUE(run_until([&] { return completed_ == 1 && title() == "list 1"; }));
  pane_.navigate(refused);
  ASSERT_TRUE(run_until([&] { return errors_.size() == 1 && completed_ == 2; }));
  pane_.navigate(url(second));  // from the failed load's error page
  ASSERT_TRUE(run_until([&] { return completed_ == 3 && title() == "list 2"; }));
  pane_.navigate(url(first));  // from an ordinary page
  ASSERT_TRUE(run_until([&] { return completed_ == 4 && title() == "list 3"; }));

  std::vector<std::string> lines;
  for (const std::string& line : server_.request_lines()) {
    if (line.starts_with("GET /pp.htm")) lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"GET /" + first + " HTTP/1.1",
                                             "GET /pp.htm?101-1-2-%u5C71%20%E4%B8%AD%-25 HTTP/1.1",
                                             "GET /" + first + " HTTP/1.1"}));
  EXPECT_EQ(before_, (std::vector<std::string>{url(first), refused, url(second), url(first)}));
}

TEST_F(WebPaneTest, SilentAnswersScriptDialogsWithoutShowingThem) {
  if (delegated_) return;
  open_home();
  pane_.set_silent(true);
  // Should a dialog appear after all, it is closed so that the test ends.
  QTimer closer;
  closer.setInterval(3000);
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  closer.start();
  QElapsedTimer timer;
  timer.start();
  const QVariant answer =
      run_js(QStringLiteral("alert('x'); [confirm('y'), prompt('z')].join(',')"));
  EXPECT_EQ(answer.toString(), QStringLiteral("false,"));
  EXPECT_LT(timer.elapsed(), 2500) << "a dialog waited for an answer";
}

TEST_F(WebPaneTest, ANewWindowIsAnnouncedAndOpensInThePane) {
  if (delegated_) return;
  open_home();
  std::vector<std::string> windows;
  pane_.on_new_window2 = [&](const std::string& address, bool&) { windows.push_back(address); };
  before_.clear();
  run_js(QStringLiteral("window.open('%1')").arg(QString::fromStdString(url("next"))));
  ASSERT_TRUE(run_until([&] { return title() == "next"; }));
  EXPECT_EQ(windows, std::vector<std::string>{url("next")});
  EXPECT_EQ(before_, std::vector<std::string>{url("next")});

  // A refused window changes nothing.
  open_home();
  windows.clear();
  pane_.on_new_window2 = [&](const std::string& address, bool& cancel) {
    windows.push_back(address);
    cancel = true;
  };
  run_js(QStringLiteral("document.getElementById('blank').click()"));
  ASSERT_TRUE(run_until([&] { return !windows.empty(); }));
  // Windows for link addresses are announced with the address as written.
  run_js(
      QStringLiteral("window.open('razavov://123-2-5-%u4E2D');"
                     "document.getElementById('blankopen').click()"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 3; }));
  EXPECT_EQ(windows,
            (std::vector<std::string>{url("next"), "razavov://123-2-5-%u4E2D", "open://3"}));
  run_for(300);
  EXPECT_EQ(title(), "home");
}

TEST_F(WebPaneTest, APageCannotTakeItsPaneToTheProgramsResourcesOrLocalFiles) {
  if (delegated_) return;
  const QString resource = QStringLiteral("qrc:/resources/skin/101.png");
  ASSERT_TRUE(QFile::exists(QStringLiteral(":/resources/skin/101.png")));
  TempFolder folder;
  folder.write("secret.htm", page("secret", ""));
  server_.on("/hostile", [&](const std::string&, const std::string&) {
    return html(page("hostile", "<a id='qrc' href='" + resource.toStdString() +
                                    "'>q</a><img id='img' src='" + resource.toStdString() +
                                    "'><iframe id='frame' src='" + resource.toStdString() +
                                    "'></iframe>"));
  });
  pane_.navigate(url("hostile"));
  ASSERT_TRUE(run_until([&] { return title() == "hostile"; }));
  before_.clear();
  run_js(QStringLiteral("document.getElementById('qrc').click()"));
  run_js(QStringLiteral("location.href = '%1'").arg(resource));
  run_js(QStringLiteral("window.open('%1')").arg(resource));
  run_for(800);
  EXPECT_EQ(title(), "hostile");
  EXPECT_EQ(pane_.location_url(), url("hostile"));
  EXPECT_TRUE(before_.empty()) << before_.front();
  EXPECT_EQ(run_js(QStringLiteral("document.getElementById('img').naturalWidth")).toInt(), 0);

  // A list page is a local file; from it a page reaches no other local file.
  const std::string list_page =
      profile()->property("pelmoraListPages").toStringList().value(0).toStdString();
  ASSERT_FALSE(list_page.empty());
  const std::string away = QUrl::fromLocalFile(QString::fromStdString(folder.file("secret.htm")))
                               .toString()
                               .toStdString();
  std::FILE* out = std::fopen(list_page.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs(page("list", "<a id='away' href='" + away + "'>a</a>").c_str(), out);
  std::fclose(out);
  pane_.navigate(list_page);
  ASSERT_TRUE(run_until([&] { return title() == "list"; }));
  run_js(QStringLiteral("document.getElementById('away').click()"));
  run_for(800);
  EXPECT_EQ(title(), "list");
}

TEST_F(WebPaneTest, AThousandWindowsAPageAsksForMakeNoPages) {
  if (delegated_) return;
  open_home();
  int asked = 0;
  pane_.on_new_window2 = [&](const std::string& address, bool&) {
    if (address.empty()) ++asked;
  };
  run_js(QStringLiteral("for (let i = 0; i < 1000; ++i) window.open('');"));
  ASSERT_TRUE(run_until([&] { return asked == 1000; }, 30000)) << asked;
  EXPECT_TRUE(peer_->view()->page()->findChildren<QWebEnginePage*>().isEmpty());
  EXPECT_EQ(title(), "home");
}

// Every way a page asks for a new window (a form or a link aimed at one, a named target, a
// frame's own window.open()) reaches the program with its address, and none leaves a window or a
// page behind, however many the page asks for.
TEST_F(WebPaneTest, EveryKindOfNewWindowIsAnnouncedAndNoneIsKept) {
  if (delegated_) return;
  server_.on("/hostile", [](const std::string&, const std::string&) {
    return html(page("hostile",
                     "<form id='form' target='_blank' action='/next'>"
                     "<input name='q' value='1'></form>"
                     "<a id='named' href='/next?named' target='other'>n</a>"
                     "<iframe name='inner'></iframe><a id='inner' href='/next' target='inner'>i</a>"
                     "<script>window.frame = function () {"
                     "  const f = document.createElement('iframe');"
                     "  document.body.appendChild(f); return f.contentWindow; };</script>"));
  });
  pane_.navigate(url("hostile"));
  ASSERT_TRUE(run_until([&] { return title() == "hostile"; }));
  std::vector<std::string> windows;
  pane_.on_new_window2 = [&](const std::string& address, bool& cancel) {
    windows.push_back(address);
    cancel = true;
  };
  run_js(QStringLiteral("document.getElementById('form').submit()"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 1; }));
  run_js(QStringLiteral("document.getElementById('form').requestSubmit()"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 2; }));
  run_js(QStringLiteral("document.getElementById('named').click()"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 3; }));
  // A link into a frame of the page opens no window.
  run_js(QStringLiteral("document.getElementById('inner').click()"));
  run_js(QStringLiteral("const w = frame(); window.got = [w.open(''), w.open('/next?frame')];"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 5; }));
  EXPECT_EQ(windows, (std::vector<std::string>{url("next?q=1"), url("next?q=1"), url("next?named"),
                                               "", url("next?frame")}));
  EXPECT_EQ(run_js(QStringLiteral("got.every(w => w === null)")).toBool(), true);
  // A fresh frame reached without its element, before the pane's script runs in it, is held by
  // the engine: no window without a click. (Later its own script announces what it asks for.)
  EXPECT_EQ(run_js(QStringLiteral("document.body.insertAdjacentHTML('beforeend', '<iframe>');"
                                  "window[window.length - 1].open('/next') === null"))
                .toBool(),
            true);

  windows.clear();
  run_js(QStringLiteral(
      "const form = document.getElementById('form');"
      "const named = document.getElementById('named');"
      "const blank = frame(), held = window[window.length - 2];"
      "for (let i = 0; i < 300; ++i) {"
      "  form.submit(); named.click(); blank.open(''); held.open('');"
      "  const a = document.createElement('a'); a.href = '/next'; a.target = 'w' + i;"
      "  document.body.appendChild(a); a.click(); a.remove(); }"));
  ASSERT_TRUE(run_until([&] { return windows.size() == 1500; }, 30000)) << windows.size();
  run_for(500);
  EXPECT_TRUE(peer_->view()->page()->findChildren<QWebEnginePage*>().isEmpty());
  EXPECT_EQ(title(), "hostile");
}

class WebPaneOnScreenTest : public WebPaneTest {
 protected:
  bool on_screen() const override { return true; }
};

// Panes on hidden tabs make their drawing surfaces while the program is idle instead of on the
// click that opens the tab. A pane so prepared still shows its page when it is shown, and a pane
// that goes before its turn is passed over.
TEST_F(WebPaneOnScreenTest, APaneMadeReadyWhileHiddenShowsItsPageAndOneThatGoesIsPassedOver) {
  if (delegated_) return;
  server_.on("/green", [](const std::string&, const std::string&) {
    return html(page("green", "<style>html,body{margin:0;height:100%;background:#00c853}</style>"));
  });
  peer_->view()->hide();
  WebBrowser other{nullptr, "Web2"};
  other.move(0, 0, 320, 240);
  int other_completed = 0;
  other.on_download_complete = [&] { ++other_completed; };
  auto other_peer = make_web_pane(other, window_.get(), profile());
  other_peer->view()->hide();

  pane_.navigate(url("green"));
  other.navigate(url("next"));
  ASSERT_TRUE(run_until([&] { return completed_ > 0 && other_completed > 0; }));
  ASSERT_TRUE(run_until([] { return views_waiting_to_warm_up() > 0; }, 2000))
      << "a pane loaded while hidden waits to be made ready";
  other_peer.reset();
  ASSERT_TRUE(run_until([] { return views_waiting_to_warm_up() == 0; }));
  run_for(200);

  peer_->view()->show();
  const auto green_centre = [&] {
    const QImage shot = window_->screen()->grabWindow(window_->winId()).toImage();
    const QColor centre = shot.pixelColor(peer_->view()->geometry().center());
    return centre.green() > 150 && centre.red() < 60 && centre.blue() < 130;
  };
  EXPECT_TRUE(run_until(green_centre)) << "the page is not shown once its pane is shown";
}

TEST_F(WebPaneTest, AContextMenuRequestDeliversTheRawAddressOfTheLink) {
  if (delegated_) return;
  open_home();
  std::vector<std::string> menus;
  pane_.on_context_menu = [&](const std::string& href) {
    menus.push_back(href);
    return false;
  };
  const QVariant box = run_js(
      QStringLiteral("(function(){const r=document.getElementById('open').getBoundingClientRect();"
                     "return [Math.round(r.left+r.width/2), Math.round(r.top+r.height/2)];})()"));
  const QVariantList xy = box.toList();
  ASSERT_EQ(xy.size(), 2);
  const QPoint at(xy[0].toInt(), xy[1].toInt());
  QWidget* target = peer_->view()->focusProxy();
  ASSERT_NE(target, nullptr);
  const QPoint global = target->mapToGlobal(at);
  // A page that has just finished loading may not take input yet: the engine drops pointer
  // events until its first frame is on screen. Moves (harmless) go first until the page has seen
  // one, so the press is sent only once the page takes input.
  run_js(
      QStringLiteral("window.seenMove = false;"
                     "addEventListener('mousemove', function () { window.seenMove = true; });"));
  const auto page_saw_a_move = [&] {
    QMouseEvent move(QEvent::MouseMove, at, global, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &move);
    run_for(20);
    return run_js(QStringLiteral("window.seenMove")).toBool();
  };
  ASSERT_TRUE(run_until(page_saw_a_move)) << "the page never took pointer input";
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::RightButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
  QCoreApplication::sendEvent(target, &release);
  ASSERT_TRUE(run_until([&] { return !menus.empty(); }));
  EXPECT_EQ(menus, std::vector<std::string>{"open://3"});
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "the program suppressed the menu";
}

// The labels of the Qt backend, in a process of their own like the panes.
class QtLabelTest : public ::testing::Test {
 protected:
  // Whether the test's process draws on a virtual screen (to check what X shows).
  virtual bool on_screen() const { return false; }

  void SetUp() override {
    if (!in_own_process()) {
      delegated_ = true;
      run_in_own_process(on_screen());
      return;
    }
    application();
  }
  bool delegated_ = false;
};

struct CaptionForm : Form {
  CaptionForm() : Form("caption") {}
  Label text{this, "text"};
};

// A programme name is shown as the text it is: markup in it neither colours nor hides it.
TEST_F(QtLabelTest, TextFromTheServiceIsShownAsPlainText) {
  if (delegated_) return;
  QtBackend backend;
  CaptionForm form;
  form.move(0, 0, 400 * 15, 100 * 15);
  form.text.move(0, 0, 380, 20);
  form.text.set_transparent(false);
  form.text.set_back_color(0xFFFFFF);
  backend.attach(form);
  form.show();
  auto* label = backend.window_of(form)->findChild<QLabel*>();
  ASSERT_NE(label, nullptr);
  for (const std::string caption : {"<font color=red><u>SPOOFED", "<script>x</script>名字"}) {
    form.text.set_caption(caption);
    EXPECT_EQ(label->text().toStdString(), caption);
    const QImage shot = label->grab().toImage();
    int red = 0;
    int inked = 0;
    for (int y = 0; y < shot.height(); ++y) {
      for (int x = 0; x < shot.width(); ++x) {
        const QColor pixel = shot.pixelColor(x, y);
        if (pixel.red() > 180 && pixel.green() < 90 && pixel.blue() < 90) ++red;
        if (pixel.lightness() < 128) ++inked;
      }
    }
    EXPECT_EQ(red, 0) << caption;
    EXPECT_GT(inked, 30) << caption << ": the text is not shown";
  }
  backend.detach(form);
}

}  // namespace
}  // namespace pelmora::platform::qt
