// The instance channel's message on any bytes a connection delivers: no memory error, a message
// is read only when all of it has arrived, and what is read is what was sent.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/channel_message.h"

using namespace pelmora::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const channel_message::Decoded decoded = channel_message::decode(bytes);
  if (decoded.status == channel_message::Status::kComplete) {
    FUZZ_CHECK(decoded.command.size() <= kMaxChannelMessage);
    FUZZ_CHECK(bytes.starts_with(channel_message::encode(decoded.command)));
  } else if (decoded.status == channel_message::Status::kIncomplete && size >= 4) {
    // Every shorter piece of a message is incomplete too.
    FUZZ_CHECK(channel_message::decode(bytes.substr(0, size - 1)).status ==
               channel_message::Status::kIncomplete);
  }
  // The bytes as a command line, sent whole or piece by piece, arrive as they were.
  if (size <= kMaxChannelMessage) {
    const std::string message = channel_message::encode(bytes);
    for (std::size_t cut = 0; cut < message.size(); cut += 1 + message.size() / 7) {
      FUZZ_CHECK(channel_message::decode(std::string_view(message).substr(0, cut)).status ==
                 channel_message::Status::kIncomplete);
    }
    const channel_message::Decoded again = channel_message::decode(message + "trailing");
    FUZZ_CHECK(again.status == channel_message::Status::kComplete && again.command == bytes);
  }
  return 0;
}
