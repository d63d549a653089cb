// GetFileName: the open dialog of the desktop, through GTK 3.
#include <cstdint>
#include <type_traits>

#include "modules/GetFileName/chosen_names.h"
#include "modules/GetFileName/file_dialog_entry.h"
#include "modules/GetFileName/gtk_dialogs.h"

extern "C" std::int32_t GetFileNameByOrdinal(void* /*owner*/, const char16_t* filter,
                                             char16_t* name, std::int32_t nameChars,
                                             const char16_t** list, std::int32_t dialogOption,
                                             std::int32_t addressMode) {
  using namespace mivora::dialog;
  if (name == nullptr || nameChars <= 0) return 0;
  DeliverNames({}, name, nameChars, list);  // cancelled, until something is chosen
  if (!GtkReady()) return 0;
  std::vector<std::string> names;
  if (addressMode != 0) {
    const std::string address = AskAddress(std::size_t(nameChars));
    if (!address.empty()) names.push_back(address);
  } else {
    names = ChooseFiles(FilterPatterns(filter), (dialogOption & 1) != 0);
  }
  const std::int32_t count = DeliverNames(names, name, nameChars, list);
  // Names with bytes that are no UTF-8 were dropped while choosing; those too long drop here.
  if (std::size_t(count) < names.size())
    TellNamesLeftOut(names.size() - std::size_t(count), std::size_t(nameChars));
  return count;
}

MIVORA_FILE_DIALOG_ENTRY(GetFileNameByOrdinal);
