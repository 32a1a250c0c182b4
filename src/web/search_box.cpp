#include "app/main_window.h"
#include "platform/key_codes.h"

namespace pelmora::app {

namespace {

constexpr std::string_view kPrompt = "请输入电影或演员名称";

bool shows_prompt(const std::string& text) {
  return text.find("请输入") != std::string::npos;
}

bool blank(const std::string& text) {
  return text.find_first_not_of(' ') == std::string::npos;
}

// The search word as the value of one query parameter: every byte that is not an unreserved
// character is percent-encoded (UTF-8), as a browser encodes a typed address. Without this an
// "&" or "#" in the word would end the parameter or the address early.
std::string query_value(const std::string& word) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string value;
  value.reserve(word.size() * 3);
  for (const unsigned char c : word) {
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (unreserved) {
      value += static_cast<char>(c);
    } else {
      value += '%';
      value += kHex[c >> 4];
      value += kHex[c & 0x0F];
    }
  }
  return value;
}

}  // namespace

void BA1::wire_search_box() {
  soso.set_text(kPrompt);
  // The search box takes the keyboard only when the user clicks into it: otherwise the window's
  // keys (Space, the arrows) would type into its prompt.
  soso.set_tab_stop(false);
  soc.on_click = [this] { soc_Click(); };
  soso.on_click = [this] { soso_Click(); };
  soso.on_got_focus = [this] { chrome.typing_search = true; };
  soso.on_lost_focus = [this] {
    chrome.typing_search = false;
    soso_LostFocus();
  };
  soso.on_key_press = [this](int key) { soso_KeyDown(key); };
  on_click = [this] { Form_Click(); };
}

void BA1::soc_Click() {
  const std::string word = soso.text();
  if (blank(word) || shows_prompt(word)) {
    soso.set_text(kPrompt);
    return;
  }
  // The word is sent as typed, leading and trailing blanks included.
  Web1.navigate(service_url("search.asp?searchword=") + query_value(word));
  if (chrome.cur_tab != index_of(Tab::kFilmLibrary)) show_tab(Tab::kFilmLibrary);
}

void BA1::soso_KeyDown(int key_code) {
  if (key_code == platform::keys::kReturn) soc_Click();
}

void BA1::soso_Click() {
  if (shows_prompt(soso.text())) soso.set_text("");
}

void BA1::soso_LostFocus() {
  if (blank(soso.text())) soso.set_text(kPrompt);
}

void BA1::Form_Click() {
  if (blank(soso.text())) soso.set_text(kPrompt);
}

}  // namespace pelmora::app
