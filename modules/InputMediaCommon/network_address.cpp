#include "modules/InputMediaCommon/network_address.h"

#include <cctype>

namespace mivora::io {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool IsNetworkAddress(std::string_view path) {
  return StartsWithNoCase(path, "http://") || StartsWithNoCase(path, "https://");
}

std::string EncodeAddress(std::string_view address) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : address) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}') {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

}  // namespace mivora::io
