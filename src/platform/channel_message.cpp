#include "platform/channel_message.h"

#include <cstdint>

namespace pelmora::platform::channel_message {

namespace {
constexpr std::size_t kLengthBytes = 4;
}  // namespace

std::string encode(std::string_view command) {
  const auto size = static_cast<std::uint32_t>(command.size());
  std::string message;
  message.reserve(kLengthBytes + command.size());
  for (int shift = 24; shift >= 0; shift -= 8) {
    message += static_cast<char>((size >> shift) & 0xFF);
  }
  message += command;
  return message;
}

Decoded decode(std::string_view data) {
  if (data.size() < kLengthBytes) return {};
  std::uint32_t length = 0;
  for (std::size_t i = 0; i < kLengthBytes; ++i) {
    length = (length << 8) | static_cast<unsigned char>(data[i]);
  }
  if (length > kMaxChannelMessage) return {Status::kRefused, {}};
  if (data.size() - kLengthBytes < length) return {};
  return {Status::kComplete, std::string(data.substr(kLengthBytes, length))};
}

}  // namespace pelmora::platform::channel_message
