// The file dialog module "GetFileName.DLL". Its one entry stands for the handheld's ordinal 1: on
// this platform modules export names only, so the entry is looked up by the name "1".
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace mivora {

inline constexpr char16_t kFileDialogModule[] = u"GetFileName.DLL";
inline constexpr char16_t kFileDialogEntry[] = u"1";

extern "C" {
// owner, filter, name buffer, its length, out: a list of names (".pdl" lines) when more than one
// was chosen, the dialog option, address mode -> how many names were chosen, 0 when cancelled.
using GetFileNameFn = std::int32_t (*)(platform::WindowHandle owner, const char16_t* filter,
                                       char16_t* name, std::int32_t nameLength,
                                       const char16_t** list, std::int32_t dialogOption,
                                       std::int32_t addressMode);
}

}  // namespace mivora
