// Stands in for GetFileName in tests: answers as the environment says, without a display.
//   MIVORA_TEST_DIALOG_ANSWER  unset or empty: cancelled; else the chosen names, "|" between
//                              them (an address in address mode).
//   MIVORA_TEST_DIALOG_LOG     when set, a file that gets one line per call with its arguments:
//                              "addressMode=A dialogOption=D nameChars=N filter=F".
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

#include "modules/GetFileName/chosen_names.h"
#include "modules/GetFileName/file_dialog_entry.h"
#include "platform/wide_string.h"

extern "C" std::int32_t GetFileNameStandIn(void* /*owner*/, const char16_t* filter, char16_t* name,
                                           std::int32_t nameChars, const char16_t** list,
                                           std::int32_t dialogOption, std::int32_t addressMode) {
  if (const char* log = std::getenv("MIVORA_TEST_DIALOG_LOG"); log != nullptr && log[0] != 0) {
    if (FILE* file = std::fopen(log, "a")) {
      const std::string text = mivora::platform::ToUtf8(filter != nullptr ? filter : u"");
      std::fprintf(file, "addressMode=%d dialogOption=%d nameChars=%d filter=%s\n", addressMode,
                   dialogOption, nameChars, text.c_str());
      std::fclose(file);
    }
  }
  if (name == nullptr || nameChars <= 0) return 0;
  std::vector<std::string> names;
  const char* answer = std::getenv("MIVORA_TEST_DIALOG_ANSWER");
  const std::string text = answer != nullptr ? answer : "";
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t bar = std::min(text.find('|', start), text.size());
    names.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  return mivora::dialog::DeliverNames(names, name, nameChars, list);
}

MIVORA_FILE_DIALOG_ENTRY(GetFileNameStandIn);
