// The desktop's own dialogs through GTK 3, which only this module loads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mivora::dialog {

// Sets GTK up on first use; false while no display can be opened (tried again on the next call).
bool GtkReady();

// The desktop's file chooser (GtkFileChooserNative: the portal's dialog where the desktop has
// one), several files at a time, offering the patterns (and all files). The chosen paths, UTF-8;
// empty when cancelled. It opens in the folder of the last choice.
std::vector<std::string> ChooseFiles(const std::vector<std::string>& patterns, bool showHidden);

// A small dialog with an entry for an http:// or https:// address, which stays open until what
// is typed can be opened (ReadTypedAddress) or it is cancelled. Empty when cancelled.
std::string AskAddress(std::size_t mostChars);

// Tells that names were chosen that the player can't take (paths of mostChars or more).
void TellNamesLeftOut(std::size_t leftOut, std::size_t mostChars);

}  // namespace mivora::dialog
