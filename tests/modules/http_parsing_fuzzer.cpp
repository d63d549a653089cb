// libFuzzer target: response heads, addresses and redirect targets from arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "modules/InputMediaCommon/http_connection.h"
#include "modules/InputMediaCommon/http_url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  mivora::io::HttpResponseHead head;
  if (mivora::io::ParseResponseHead(text, &head)) {
    if (head.range_first >= 0 && head.range_last < head.range_first) __builtin_trap();
  }
  const auto split = text.find('\n');
  const auto url = mivora::io::ParseHttpUrl(text.substr(0, split));
  if (url) {
    if (url->host.empty() || url->target.empty() || url->target.front() != '/') __builtin_trap();
    if (split != std::string_view::npos) {
      const auto next = mivora::io::ResolveLocation(*url, text.substr(split + 1));
      if (next && (next->target.empty() || next->host.empty())) __builtin_trap();
    }
  }
  return 0;
}
