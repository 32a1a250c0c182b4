#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/main_window_fixture.h"

namespace pelmora::testing {

// The main window with a resource service on loopback that answers "h.asp" from a table of
// episodes, keyed by the raw query ("id=123&v=2&v1=5"); unknown episodes answer "1".
class WebTest : public MainWindowTest {
 protected:
  using Reply = LoopbackServer::Reply;

  WebTest() : episodes_(std::make_shared<Episodes>()) {
    service.on("/h.asp", [episodes = episodes_](const std::string&, const std::string& query) {
      const std::lock_guard lock(episodes->mutex);
      episodes->queries.push_back(query);
      const auto found = episodes->replies.find(query);
      return found == episodes->replies.end() ? Reply{200, "1"} : found->second;
    });
  }

  void answer(const std::string& query, Reply reply) {
    const std::lock_guard lock(episodes_->mutex);
    episodes_->replies[query] = std::move(reply);
  }
  void answer(const std::string& query, const std::string& body) {
    answer(query, Reply{200, body});
  }
  // The resource queries asked so far, oldest first.
  std::vector<std::string> queries() const {
    const std::lock_guard lock(episodes_->mutex);
    return episodes_->queries;
  }

  // Opens the window with nothing recorded yet by the player or the panes.
  app::BA1& open() {
    app::BA1& ba1 = open_window();
    player().calls.clear();
    for (platform::WebBrowser* pane : {&ba1.Web1, &ba1.Web2, &ba1.Web3, &ba1.Web4, &ba1.Web5}) {
      pane->clear_requests();
    }
    return ba1;
  }

  std::string base() const { return service.base_url(); }

  // The address of the pane's last request, empty when there is none.
  static std::string last_address(const platform::WebBrowser& pane) {
    return pane.last_request() ? pane.last_request()->text : std::string();
  }

 private:
  struct Episodes {
    std::mutex mutex;
    std::map<std::string, Reply> replies;
    std::vector<std::string> queries;
  };
  std::shared_ptr<Episodes> episodes_;
};

}  // namespace pelmora::testing
