// The floor the desktop program's start-up is measured against: ten bare browser views in one
// window, each loading a trivial page of its own loopback site. Prints, in wall-clock
// milliseconds, when the window is shown and when every page has loaded; runs until killed.
#include <httplib.h>

#include <QtCore/QTimer>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QWidget>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

long long epoch_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  // Ten sites, one port each, serving one small page.
  std::vector<std::unique_ptr<httplib::Server>> sites;
  std::vector<std::thread> threads;
  std::vector<int> ports;
  for (int i = 0; i < 10; ++i) {
    auto site = std::make_unique<httplib::Server>();
    site->Get("/", [i](const httplib::Request&, httplib::Response& response) {
      response.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>site " +
                               std::to_string(i) + "</title></head><body style=\"background:" +
                               "#212121;color:#ddd\"><p>site " + std::to_string(i) +
                               "</p></body></html>",
                           "text/html; charset=utf-8");
    });
    ports.push_back(site->bind_to_any_port("127.0.0.1"));
    httplib::Server* raw = site.get();
    threads.emplace_back([raw] { raw->listen_after_bind(); });
    sites.push_back(std::move(site));
  }

  QApplication application(argc, argv);
  QWidget window;
  window.resize(906, 586);
  auto* grid = new QGridLayout(&window);
  int pending = 10;
  for (int i = 0; i < 10; ++i) {
    auto* view = new QWebEngineView(&window);
    grid->addWidget(view, i / 5, i % 5);
    QObject::connect(view, &QWebEngineView::loadFinished, [&pending](bool) {
      if (--pending == 0) std::fprintf(stderr, "floor-timing loaded %lld\n", epoch_ms());
    });
    view->load(QUrl(QString("http://127.0.0.1:%1/").arg(ports[static_cast<std::size_t>(i)])));
  }
  window.show();
  QTimer::singleShot(0, [] { std::fprintf(stderr, "floor-timing shown %lld\n", epoch_ms()); });
  const int result = application.exec();
  for (auto& site : sites) site->stop();
  for (auto& thread : threads) thread.join();
  return result;
}
