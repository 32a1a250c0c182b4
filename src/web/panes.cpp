#include "app/main_window.h"

namespace pelmora::app {

namespace {

// The error panel's text over the catalogue when the service cannot be reached: the four hints,
// then which address failed and where another one is set (a first start of an installed program
// points at the demo service's address, which may not be running).
std::string home_error_text(std::string_view service_url, std::string_view configuration_file) {
  std::string text =
      "Error！出错了\r\n\r\n1.请检查你的网络连接\r\n2.软件网络出现了故障\r\n"
      "3.请点此尝试重新连接\r\n4.请尝试重新启动软件\r\n\r\n无法连接服务：";
  text += service_url;
  text += "\r\n另设服务地址：";
  text += configuration_file;
  text += "\r\n中 [pelmora] 段的 service_url，\r\n或环境变量 PELMORA_SERVICE_URL\r\n";
  return text;
}

}  // namespace

void BA1::wire_panes() {
  // Script errors and script dialogs of pages are never shown.
  for (platform::WebBrowser* pane : {&Web1, &Web2, &Web3, &Web4, &Web5, &Web7, &Web9}) {
    pane->on_download_begin = [pane] { pane->set_silent(true); };
  }
  // Each completed document is hooked for its context menu. The panes without a menu of their
  // own answer the event with nothing, so the browser's menu never appears there either.
  Web1.on_download_complete = [this] { Web1_DownloadComplete(); };
  for (platform::WebBrowser* pane : {&Web2, &Web3, &Web4, &Web5, &Web9}) {
    pane->on_download_complete = [this, pane] { hooked_panes_.insert(pane); };
  }
  const auto hook = [this](platform::WebBrowser& pane, bool (BA1::*handler)(const std::string&)) {
    pane.on_context_menu = [this, &pane, handler](const std::string& href) {
      if (!hooked_panes_.contains(&pane)) return true;  // no document hooked yet
      return handler ? (this->*handler)(href) : false;
    };
  };
  hook(Web1, &BA1::M_M1_oncontextmenu);
  hook(Web2, nullptr);
  hook(Web3, &BA1::M_M3_oncontextmenu);
  hook(Web4, nullptr);
  hook(Web5, &BA1::M_M5_oncontextmenu);
  hook(Web9, nullptr);

  Web1.on_navigate_error = [this](const std::string& url, int status) {
    Web1_NavigateError(url, status);
  };
  Web7.on_navigate_error = [this](const std::string& url, int status) {
    Web7_NavigateError(url, status);
  };
  jia.on_click = [this] { jia_Click(); };
  webe.on_click = [this] { webe_Click(); };
}

void BA1::Web1_DownloadComplete() {
  hooked_panes_.insert(&Web1);
  if (chrome.home_error != 1) {
    Pic1.set_visible(true);
    wait.set_visible(false);
  }
}

void BA1::Web1_NavigateError(const std::string& url, int) {
  // Failures of addresses outside the service (an outside link in a page) change nothing.
  if (url.find(config_.service_url) == std::string::npos) return;
  Pic1.set_visible(false);
  wait.set_visible(true);
  webe.set_caption(home_error_text(config_.service_url, program_file(kConfigurationFile)));
  chrome.home_error = 1;
  // The text takes its own size: the panel is laid out again so that all of it shows.
  Form_Resize();
}

void BA1::jia_Click() {
  Web1.navigate(config_.service_url);
  Pic1.set_visible(true);
  wait.set_visible(false);
}

void BA1::webe_Click() {
  jia_Click();
}

void BA1::Web7_NavigateError(const std::string&, int) {
  ad_huan.set_visible(false);
  adp.set_visible(true);
  chrome.ad_error = 1;
  chrome.advert_shown = false;
}

}  // namespace pelmora::app
