// Where the options live between runs and how they get there: a text file in the user's
// configuration folder, replaced whole on every save so that a crash or a full disk leaves the
// file as it was before.
#pragma once

#include <filesystem>

#include "modules/Init/default_options.h"
#include "modules/Init/options_text.h"
#include "shell/player_options.h"

namespace mivora::settings {

// $XDG_CONFIG_HOME/mivora/options.conf, or ~/.config/mivora/options.conf when that is unset or
// not an absolute path. Empty when no home folder can be found.
std::filesystem::path OptionsFilePath();

// options := the defaults, then every field the file gives a valid value for. A missing,
// unreadable, damaged or foreign file (not a regular file, or larger than any options file
// could be: only its first 64 KiB are read) leaves the defaults in place; nothing fails.
void LoadOptionsFile(PlayerOptions& options, const std::filesystem::path& path);

// Writes the whole text to a new file beside the old one, flushes it to the disk, renames it over
// the old one and flushes the folder. The folder is made when missing. False when the file could
// not be replaced (the old one is then unchanged and the new one removed) or when the folder
// could not be flushed after the rename.
bool SaveOptionsFile(const PlayerOptions& options, const std::filesystem::path& path);

}  // namespace mivora::settings
