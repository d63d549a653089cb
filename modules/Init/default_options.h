// The options a first start gets, and that stand in for whatever a stored file lacks.
#pragma once

#include "shell/player_options.h"

namespace mivora::settings {

// Keys are SDL key codes: Space pause, S stop, Right fast forward, N next item, R rotate,
// D double size, B display, Up/Down volume, and the "=/+" key (SDLK_EQUALS, which is what the
// "+" key of US and UK layouts reports unshifted) and "-" for brightness. The cache size is the
// cached input module's own default written out, so the file shows it.
void DefaultOptions(PlayerOptions& options);

}  // namespace mivora::settings
