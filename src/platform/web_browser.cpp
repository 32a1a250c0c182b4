#include "platform/web_browser.h"

namespace pelmora::platform {

namespace {
// Enough history for any test of a road through the program; older requests are dropped.
constexpr std::size_t kMaxRequests = 512;
}  // namespace

void WebBrowser::navigate(std::string_view url) {
  const std::string address(url);
  if (raise_before_navigate2(address)) return;
  request(PaneRequest::Kind::kNavigate, address);
}

void WebBrowser::refresh() {
  request(PaneRequest::Kind::kRefresh, location_url_);
}
void WebBrowser::go_back() {
  request(PaneRequest::Kind::kGoBack, {});
}
void WebBrowser::go_forward() {
  request(PaneRequest::Kind::kGoForward, {});
}

void WebBrowser::copy() {
  request(PaneRequest::Kind::kCopy, {});
}
void WebBrowser::paste() {
  request(PaneRequest::Kind::kPaste, {});
}

void WebBrowser::write_document(std::string_view html) {
  request(PaneRequest::Kind::kWriteDocument, html);
}

void WebBrowser::set_silent(bool silent) {
  if (silent_ == silent) return;
  silent_ = silent;
  notify(Property::kNavigation);
}

bool WebBrowser::raise_before_navigate2(const std::string& url) {
  bool cancel = false;
  if (on_before_navigate2) on_before_navigate2(url, cancel);
  if (!cancel) location_url_ = url;
  return cancel;
}

bool WebBrowser::raise_new_window2(const std::string& url) {
  bool cancel = false;
  if (on_new_window2) on_new_window2(url, cancel);
  return cancel;
}

void WebBrowser::raise_download_begin() {
  if (on_download_begin) on_download_begin();
}

void WebBrowser::raise_download_complete() {
  if (on_download_complete) on_download_complete();
}

void WebBrowser::raise_navigate_error(const std::string& url, int status) {
  if (on_navigate_error) on_navigate_error(url, status);
}

bool WebBrowser::raise_context_menu(const std::string& href) {
  return on_context_menu ? on_context_menu(href) : true;
}

void WebBrowser::request(PaneRequest::Kind kind, std::string_view text) {
  if (requests_.size() >= kMaxRequests) requests_.erase(requests_.begin());
  requests_.push_back(PaneRequest{kind, std::string(text)});
  notify(Property::kNavigation);
}

}  // namespace pelmora::platform
