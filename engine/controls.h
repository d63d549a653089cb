// The player's controls, called on the user-interface thread: pause and resume, fast forward,
// seek, stop, next item, picture refresh, the paused picture, the output mode, the decoder
// release and the position query.
#pragma once

#include <cstdint>

#include "engine/output_type.h"
#include "platform/message_box.h"

namespace mivora {

void TogglePause();
void PauseCommand();
void FastForwardCommand();
void ToggleFastForward();
void SeekToPercent(std::int32_t percent);
void StopPlayback();
void NextItemCommand();
// Ends whatever plays for good (the window is closing): exiting is set, every run is stopped and
// every engine thread joined.
void EndPlayback();
void RefreshPicture();
void CapturePausedFrame(platform::WindowHandle window);
// 0: initialise the decoder with the options' type; 2: one-to-one (paused capture); -1: back to
// the options' type without initialising.
void SelectOutputMode(std::int32_t mode);
void ReleaseDecoder();
std::int32_t PositionPercent();

// True while a presentation thread runs.
bool PresentationRunning();

}  // namespace mivora
