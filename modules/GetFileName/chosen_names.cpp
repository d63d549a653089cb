#include "modules/GetFileName/chosen_names.h"

#include <algorithm>

#include "platform/wide_string.h"

namespace mivora::dialog {

namespace {
std::u16string& ListStore() {
  static std::u16string list;
  return list;
}
}  // namespace

std::int32_t DeliverNames(const std::vector<std::string>& names, char16_t* name,
                          std::int32_t nameChars, const char16_t** list) {
  std::u16string& text = ListStore();
  text.clear();
  std::int32_t count = 0;
  std::u16string single;
  for (const std::string& utf8 : names) {
    const std::u16string wide = platform::FromUtf8(utf8);
    if (wide.empty() || nameChars <= 0 || wide.size() >= std::size_t(nameChars)) continue;
    // A line end or a zero inside a name would split it in the list.
    if (wide.find_first_of(u"\r\n", 0, 3) != std::u16string::npos) continue;
    if (text.size() + wide.size() + 2 + 1 > kMostListChars) break;
    text += wide;
    text += u"\r\n";
    if (count++ == 0) single = wide;
  }
  if (name != nullptr && nameChars > 0) {
    const std::u16string& chosen = count == 1 ? single : std::u16string();
    std::copy(chosen.begin(), chosen.end(), name);
    name[chosen.size()] = 0;
  }
  if (list != nullptr) *list = text.c_str();
  return count;
}

std::vector<std::string> FilterPatterns(const char16_t* filter) {
  std::vector<std::string> patterns;
  const std::string text = platform::ToUtf8(filter != nullptr ? filter : u"");
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(",;", start);
    if (end == std::string::npos) end = text.size();
    std::string pattern = text.substr(start, end - start);
    pattern.erase(0, pattern.find_first_not_of(" \t"));
    pattern.erase(pattern.find_last_not_of(" \t") + 1);
    if (!pattern.empty()) patterns.push_back(pattern);
    start = end + 1;
  }
  return patterns;
}

}  // namespace mivora::dialog
