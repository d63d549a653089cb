// The settings module "Init.dll": loads and saves the options, creates the main window, and
// shows the Configure and Equalizer dialogs. The player loads it for each call and frees it
// afterwards (it stays loaded when the window could not be created).
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "shell/player_options.h"

namespace mivora {

inline constexpr char16_t kSettingsModule[] = u"Init.dll";

// The key names handed to "ExternalInit", in this order.
inline constexpr int kKeyNameCount = 8;

extern "C" {
using LoadOptionsFn = void (*)(PlayerOptions* options);
using SaveOptionsFn = void (*)(PlayerOptions* options);
// module, program instance, show flag, options, where the command bar's handle goes, the window
// procedure, the key-name table -> the main window, null on failure.
using ExternalInitFn = platform::WindowHandle (*)(void* module, void* instance, int show,
                                                  PlayerOptions* options,
                                                  platform::WindowHandle* commandBar,
                                                  platform::WindowProc proc,
                                                  const char16_t* const* keyNames);
// module, program instance, main window, options; returns when the dialog is closed.
using OptionsDialogFn = void (*)(void* module, void* instance, platform::WindowHandle window,
                                 PlayerOptions* options);
}

}  // namespace mivora
