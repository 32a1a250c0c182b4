#include "util/html_text.h"

namespace pelmora::text {

void append_html_escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
}

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_html_escaped(out, text);
  return out;
}

}  // namespace pelmora::text
