#pragma once

#include <optional>
#include <string>
#include <string_view>

// The service's update file "lib/wen.txt": four fields separated by "====".
namespace pelmora::web::update {

struct UpdateFile {
  std::string exit_recommendation;  // "1": show the recommendation window at exit
  std::string floating_promotion;   // 1 as a number: show the floating promotion window
  std::string advert;               // 1 as a number: show the advert pane in the player area
  std::string latest_version;       // without line breaks
};

// The fields of a body; nothing for a body without "====". Missing fields are empty.
std::optional<UpdateFile> parse(std::string_view body);

// The leading number of a text, as a lenient numeric reading does it ("3.1" is 3.1, " 1\r\n" is 1,
// "3.1beta" is 3.1); 0 when the text does not begin with a number.
double leading_number(std::string_view text);

// Whether the user is asked to update at start: the latest version is a number other than 0 and
// differs, as text, from the installed one with its surrounding spaces removed.
bool offered_at_start(std::string_view latest, std::string_view installed);
// Whether the manual check asks: any latest version read that differs from the installed one.
bool offered_on_request(std::string_view latest, std::string_view installed);

}  // namespace pelmora::web::update
