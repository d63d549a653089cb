// The player's calls into the settings module: start (options and window), Configure, Equalizer
// and saving at the end.
#pragma once

#include "platform/window.h"

namespace mivora {

// Loads the options and has the module create the main window; false when it could not.
bool StartThroughModule(void* instance, int show);
void ConfigureThroughModule();
void EqualizerThroughModule();
void SaveOptionsThroughModule();

}  // namespace mivora
