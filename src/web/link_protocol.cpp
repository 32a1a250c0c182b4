// The panes' interception of the program's link schemes. Each pane cancels the links it knows
// and hands them to the window's command for them: the catalogue pane looks up and plays
// episodes, the list panes play and remove history entries, the episode list pane does either,
// and the web player pane announces the end of an item.
#include <optional>

#include "app/main_window.h"
#include "web/link_grammar.h"

namespace pelmora::app {

namespace {

// Runs the command of a link of the program's own schemes: the scheme it ran, nothing when the
// address is none of them.
std::optional<web::Scheme> run_link(BA1& window, const std::string& url,
                                    std::initializer_list<web::Scheme> schemes) {
  for (const web::Scheme scheme : schemes) {
    if (!web::is_link(scheme, url)) continue;
    switch (scheme) {
      case web::Scheme::kSearch:
        window.search_episode(url);
        break;
      case web::Scheme::kPlay:
        window.play_episode_link(url);
        break;
      case web::Scheme::kOpen:
        window.open_list_entry(url);
        break;
      case web::Scheme::kDelete:
        window.delete_list_entry(url);
        break;
    }
    return scheme;
  }
  return std::nullopt;
}

}  // namespace

void BA1::wire_web() {
  Web1.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web1_BeforeNavigate2(url, cancel);
  };
  Web2.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web2_BeforeNavigate2(url, cancel);
  };
  Web3.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web3_BeforeNavigate2(url, cancel);
  };
  Web4.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web4_BeforeNavigate2(url, cancel);
  };
  Web5.on_before_navigate2 = [this](const std::string& url, bool& cancel) {
    Web5_BeforeNavigate2(url, cancel);
  };
}

void BA1::Web1_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (run_link(*this, url, {web::Scheme::kSearch, web::Scheme::kPlay})) cancel = true;
}

void BA1::Web2_BeforeNavigate2(const std::string& url, bool& cancel) {
  // The web player page announces the end of its item with the end-of-playback marker. An empty
  // marker would match every address and swallow every page of the pane.
  if (config().end_marker.empty() || url.find(config().end_marker) == std::string::npos) return;
  cancel = true;
  end_of_item();
}

void BA1::Web3_BeforeNavigate2(const std::string& url, bool& cancel) {
  if (run_link(*this, url, {web::Scheme::kDelete, web::Scheme::kOpen})) cancel = true;
}

void BA1::Web4_BeforeNavigate2(const std::string& url, bool& cancel) {
  const auto scheme = run_link(*this, url, {web::Scheme::kDelete, web::Scheme::kOpen});
  if (!scheme) return;
  cancel = true;
  if (scheme == web::Scheme::kDelete) Web4.refresh();
}

void BA1::Web5_BeforeNavigate2(const std::string& url, bool& cancel) {
  const auto scheme = run_link(
      *this, url,
      {web::Scheme::kDelete, web::Scheme::kOpen, web::Scheme::kSearch, web::Scheme::kPlay});
  if (!scheme) return;
  cancel = true;
  if (scheme == web::Scheme::kDelete) Web5.refresh();
}

std::string_view BA1::list_on_view() const {
  return chrome.list_on_view == ListOnView::kLocal ? lists::kLocalList : lists::kNetworkList;
}

}  // namespace pelmora::app
