// The settings module's dialogs, drawn with Dear ImGui in the player's window. Both change the
// record only when closed with OK.
#pragma once

#include "platform/window.h"
#include "shell/player_options.h"

namespace mivora::settings {

// Every option of the record: flags, the cache size, brightness and the keys (a key is captured
// by pressing it).
void RunConfigureDialog(platform::WindowHandle window, PlayerOptions& options);
// The equalizer switch and its bands.
void RunEqualizerDialog(platform::WindowHandle window, PlayerOptions& options);

}  // namespace mivora::settings
