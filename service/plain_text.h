#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small text helpers of the service's own.
namespace pelmora::service::text {

// The parts of `text` between occurrences of `separator`; an empty text gives one empty part.
std::vector<std::string_view> split(std::string_view text, std::string_view separator);

// `text` with & < > " ' written as HTML character references, for text inside elements and
// attribute values.
std::string html_escape(std::string_view text);

}  // namespace pelmora::service::text
