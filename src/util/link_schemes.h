#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The program's own link schemes, written once: the service's pages and the list pages ask for
// an action with them, the link grammar reads them, the panes hand them to the program instead of
// loading them, the menus and the list pages write them.
namespace pelmora::links {

inline constexpr std::string_view kSearch = "razavov://";  // look up the resource of an episode
inline constexpr std::string_view kPlay = "eeqvod://";     // play an episode
inline constexpr std::string_view kOpen = "open://";       // play an entry of the list on view
inline constexpr std::string_view kDelete = "delk://";     // remove an entry of the list on view
inline constexpr std::string_view kEngine = "qvod://";     // an item of the download engine

// Every scheme a pane hands to the program rather than to the browser engine.
inline constexpr std::array<std::string_view, 5> kPaneLinks{kSearch, kPlay, kOpen, kDelete,
                                                            kEngine};
// The links that lead to an episode playing.
inline constexpr std::array<std::string_view, 2> kPlayingLinks{kSearch, kPlay};

// Whether the address is an item of the download engine ("qvod://...", in any case).
constexpr bool is_engine_address(std::string_view address) {
  if (address.size() < kEngine.size()) return false;
  for (std::size_t i = 0; i < kEngine.size(); ++i) {
    const char c = address[i];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower != kEngine[i]) return false;
  }
  return true;
}

// The scheme's name without "://" ("razavov").
constexpr std::string_view scheme_name(std::string_view link) {
  return link.substr(0, link.find(':'));
}

}  // namespace pelmora::links
