#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora::platform {

// The longest command line the instance channel carries; longer messages are refused.
inline constexpr std::size_t kMaxChannelMessage = 64 * 1024;

// One message on the instance channel: the command line's length in four bytes, big-endian, then
// the command line itself (UTF-8, passed on as it is).
namespace channel_message {

std::string encode(std::string_view command);

enum class Status {
  kIncomplete,  // more bytes are needed
  kComplete,    // `command` holds the message's command line
  kRefused,     // the length says more than kMaxChannelMessage: the connection is closed
};

struct Decoded {
  Status status = Status::kIncomplete;
  std::string command;
};

// The message at the start of `data`, what has arrived of one connection so far; bytes after the
// message are not looked at.
Decoded decode(std::string_view data);

}  // namespace channel_message
}  // namespace pelmora::platform
