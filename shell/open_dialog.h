// The Open and Open URL commands (through the file dialog module) and files dropped on the
// window: the chosen item or playlist becomes what plays next.
#pragma once

#include <string>

#include "platform/window.h"

namespace mivora {

void OpenDialog(platform::WindowHandle window, bool addressMode);
// A path, an address or a playlist chosen without the dialog (a drop).
void OpenPath(platform::WindowHandle window, const std::u16string& path);

}  // namespace mivora
