// The loading step: turns the current path into a playing (or paused) item. It stops what ran
// before, chooses the media source and the decoders, and starts the engine's threads.
#pragma once

#include <cstdint>

#include "platform/message_box.h"

namespace mivora {

// Fills the media source table for the current path (the built-in AVI reader or a reader
// module).
void ChooseReader();
// 0 when the video decoder and the audio decoder module are ready, -1 when the file is refused or
// a module is missing (the user has been told).
std::int32_t ChooseDecoders();
void LoadCurrentItem(platform::WindowHandle mainWindow);

// Unloads the modules of the last item and closes its source (at exit).
void UnloadItem();

}  // namespace mivora
