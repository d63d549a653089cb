// The player's controls, called on the user-interface thread: pause and resume, fast forward,
// seek, stop, next item, picture refresh, the paused picture, the output mode, the decoder
// release and the position query.
#pragma once

#include <cstdint>

#include "platform/message_box.h"

namespace mivora {

// Output types: how decoded pictures are laid on the display.
enum class OutputType : std::int32_t {
  Normal = 5,         // as decoded
  Rotated = 7,        // turned 90 degrees
  Double = 8,         // two display pixels per sample
  RotatedDouble = 9,  // turned and doubled
};
// The type for the rotate and double-size options; oneToOne (the paused capture) keeps the
// rotation but never doubles.
OutputType OutputTypeFor(bool rotate, bool doubleSize, bool oneToOne);

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
