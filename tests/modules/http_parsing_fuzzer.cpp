// libFuzzer target: Content-Range values and address encoding from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "modules/InputMediaCommon/content_range.h"
#include "modules/InputMediaCommon/network_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto range = mivora::io::ParseContentRange(text)) {
    if (range->first >= 0 && range->last < range->first) __builtin_trap();
    if (range->total >= 0 && range->last >= range->total) __builtin_trap();
  }
  const std::string encoded = mivora::io::EncodeAddress(text);
  for (const char c : encoded) {
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      __builtin_trap();
    }
  }
  return 0;
}
