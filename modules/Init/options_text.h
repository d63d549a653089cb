// The text form of PlayerOptions: one "name = value" line per field, named as the record's
// members, keys by their SDL names, flags 0 or 1, the equalizer as ten numbers on one line.
#pragma once

#include <string>
#include <string_view>

#include "shell/player_options.h"

namespace mivora::settings {

std::string OptionsText(const PlayerOptions& options);

// Sets every field that a complete line of text gives a valid value for; everything else in
// options stays as it was. Unknown names, comments ("#" first), lines without "=" and values out
// of range are passed over. A last line without its line end is not read: it may have been cut.
void ReadOptionsText(PlayerOptions& options, std::string_view text);

}  // namespace mivora::settings
