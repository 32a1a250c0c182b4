// The engine's address grammar on any text: no memory error; what it takes is an address whose
// file name the download folder can hold, and writing that address out again reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "qvod_address.h"

using namespace pelmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto address = engine::parse_qvod_address(text);
  if (!address) return 0;
  FUZZ_CHECK(address->size > 0);
  FUZZ_CHECK(engine::is_info_hash(address->hash));
  for (char c : address->hash) FUZZ_CHECK(!(c >= 'A' && c <= 'F'));
  const std::string& name = address->name;
  FUZZ_CHECK(!name.empty() && name != "." && name != "..");
  FUZZ_CHECK(name.size() <= engine::kMaxNameBytes);
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    FUZZ_CHECK(c != '/' && c != '\\' && u >= 0x20 && u != 0x7f);
  }
  const std::string again =
      "qvod://" + std::to_string(address->size) + "|" + address->hash + "|" + name + "|";
  const auto reread = engine::parse_qvod_address(again);
  FUZZ_CHECK(reread && reread->size == address->size && reread->hash == address->hash &&
             reread->name == name);
  return 0;
}
