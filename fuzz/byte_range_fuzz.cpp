// The stream's Range reader on any field and file size: no memory error or overflow, and a range
// it answers lies within the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "http_head.h"

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first eight bytes give the file's size (small ones as often as large ones), the rest the
  // field.
  std::uint64_t file_size = 0;
  if (size >= 8) {
    std::memcpy(&file_size, data, 8);
    if ((file_size & 1) != 0) file_size = (file_size >> 1) % 4096;
    data += 8;
    size -= 8;
  }
  const std::string_view field(reinterpret_cast<const char*>(data), size);
  const auto range = engine::byte_range(field, file_size);
  if (!range) return 0;
  FUZZ_CHECK(field.starts_with("bytes="));
  if (!range->satisfiable) return 0;
  FUZZ_CHECK(range->length > 0);
  FUZZ_CHECK(range->first < file_size);
  FUZZ_CHECK(range->length <= file_size - range->first);
  return 0;
}
