#pragma once

#include <string>
#include <string_view>

#include "catalogue.h"
#include "query.h"

// The HTML pages of the demo service. Every page is UTF-8 with the client's dark look; every text
// that comes from a request is escaped before it goes into the page.
namespace pelmora::service::pages {

std::string html_escape(std::string_view text);
// A JavaScript string literal (with quotes) that is also safe inside a <script> element.
std::string js_string(std::string_view text);

// The catalogue: every programme with its poster, sources and episode links. `media_missing`
// adds a note that the clips have not been made yet.
std::string home(const Catalogue& catalogue, bool media_missing);
// Search results for the decoded search word.
std::string search_results(const Catalogue& catalogue, std::string_view word);
// The episode list of the programme in `query` with the current episode marked; opens the
// episode `query.open_episode` by itself when the page is first loaded. Empty when the programme
// is unknown.
std::string episode_list(const Catalogue& catalogue, const EpisodeListQuery& query);
// The web player: plays `play.address` and navigates to `end_marker` when it has ended.
std::string web_player(const WebPlayQuery& play, std::string_view end_marker);

// The TV page: a channel for each clip that plays in a page, each opening its channel page.
std::string tv(const Catalogue& catalogue);
// A channel (from 1): the channel's clip, played over and over in the page. Empty when there is
// no such channel.
std::string tv_channel(const Catalogue& catalogue, int channel);
// The music page: its tracks, each opening its track page.
std::string music(const Catalogue& catalogue);
// A track (from 1): the sound of its clip, played in the page. Empty when there is no such track.
std::string music_track(const Catalogue& catalogue, int track);
std::string novels();
std::string apps();
std::string player_download();
std::string about();
std::string player_advert(const Catalogue& catalogue);        // js/ads/qvodad.html
std::string floating_promotion(const Catalogue& catalogue);   // js/ads/fudong.html, 268 x 200
std::string exit_recommendation(const Catalogue& catalogue);  // js/ads/tui.html, 350 x 250
std::string installer_notice();
// An error page with the HTTP status in its title.
std::string error(int status, std::string_view message);

}  // namespace pelmora::service::pages
