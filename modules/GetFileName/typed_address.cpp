#include "modules/GetFileName/typed_address.h"

#include "platform/wide_string.h"

namespace mivora::dialog {

TypedAddress ReadTypedAddress(std::string_view typed, std::size_t mostChars) {
  while (!typed.empty() && (typed.front() == ' ' || typed.front() == '\t')) typed.remove_prefix(1);
  while (!typed.empty() && (typed.back() == ' ' || typed.back() == '\t')) typed.remove_suffix(1);
  if (typed.empty()) return {"", "Type the address of a file, such as http://host/film.avi"};

  std::string scheme = "http";
  std::string_view rest = typed;
  const std::size_t mark = typed.find("://");
  if (mark != std::string_view::npos) {
    scheme.clear();
    for (const char c : typed.substr(0, mark))
      scheme += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    rest = typed.substr(mark + 3);
  }
  if (scheme != "http" && scheme != "https")
    return {"", "Only http:// and https:// addresses can be opened"};
  if (rest.empty() || rest.front() == '/' || rest.front() == '?' || rest.front() == '#')
    return {"", "The address has no host name"};

  std::string address = scheme + "://";
  for (const char c : rest) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ' ') {
      address += "%20";
    } else if (byte < 0x20 || byte == 0x7F) {
      return {"", "The address holds characters that can't be part of one"};
    } else {
      address += c;
    }
  }
  if (platform::FromUtf8(address).size() >= mostChars)
    return {"", "The address is too long: the player keeps " + std::to_string(mostChars - 1) +
                    " characters at most"};
  return {address, ""};
}

}  // namespace mivora::dialog
