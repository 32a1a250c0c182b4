#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/control.h"

namespace pelmora::platform {

// What the program asked a browser pane to do; the pane's peer carries out the last request
// each time the model notifies Property::kNavigation.
struct PaneRequest {
  enum class Kind { kNavigate, kRefresh, kGoBack, kGoForward, kWriteDocument, kCopy, kPaste };
  Kind kind = Kind::kNavigate;
  std::string text;  // the address, or the HTML written into the document
  bool operator==(const PaneRequest&) const = default;
};

// A browser pane. `navigate` raises BeforeNavigate2 with the raw address before anything is
// handed to the engine, exactly as the page's own link clicks do, so a handler that cancels a
// link and navigates again re-enters this pane before the outer handler returns.
class WebBrowser : public Control {
 public:
  using Control::Control;

  // Navigate / Navigate2: the address as the program's text, never reinterpreted (link schemes
  // such as "open://3" or "razavov://1-2-3-%u4E2D" are kept exactly as written).
  void navigate(std::string_view url);
  void refresh();
  void go_back();
  void go_forward();
  // The page's edit commands: copy the selection, paste into the focused field.
  void copy();
  void paste();
  // Writes a whole HTML document into the pane (the placeholder pages).
  void write_document(std::string_view html);

  // Silent suppresses the page's script-error and script dialogs.
  bool silent() const { return silent_; }
  void set_silent(bool silent);

  // The address the pane was last navigated to (by the program or by the page); empty before.
  const std::string& location_url() const { return location_url_; }
  // Every request handed to the engine, oldest first (kept for the headless backend's tests;
  // the list is bounded).
  const std::vector<PaneRequest>& requests() const { return requests_; }
  const PaneRequest* last_request() const {
    return requests_.empty() ? nullptr : &requests_.back();
  }
  void clear_requests() { requests_.clear(); }

  // Events, set by the owning form.
  // BeforeNavigate2: set `cancel` to stop the navigation.
  std::function<void(const std::string& url, bool& cancel)> on_before_navigate2;
  // NewWindow2: the page asks for a new window; set `cancel` to refuse it.
  std::function<void(const std::string& url, bool& cancel)> on_new_window2;
  std::function<void()> on_download_begin;
  std::function<void()> on_download_complete;
  // NavigateError: the address that failed and the status code (an HTTP status or a negative
  // network error).
  std::function<void(const std::string& url, int status)> on_navigate_error;
  // The document's oncontextmenu, with the active element's "href" (empty when none). Return
  // true to let the browser's own menu appear.
  std::function<bool(const std::string& href)> on_context_menu;

  // Raised by the backend for navigations that start in the page (link clicks, scripts).
  // Returns true when the program cancelled it; otherwise the navigation is recorded as the
  // pane's location and the peer lets it go ahead.
  bool raise_before_navigate2(const std::string& url);
  bool raise_new_window2(const std::string& url);
  void raise_download_begin();
  void raise_download_complete();
  void raise_navigate_error(const std::string& url, int status);
  bool raise_context_menu(const std::string& href);

 private:
  void request(PaneRequest::Kind kind, std::string_view text);

  bool silent_ = false;
  std::string location_url_;
  std::vector<PaneRequest> requests_;
};

}  // namespace pelmora::platform
