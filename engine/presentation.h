// The presentation loop: one thread per opened item compares the next frame of the run with the
// frame the clock wants, and shows, drops or waits; the two steps every engine part uses to put
// a frame on screen (DecodeAndShow, PlacePicture); fast forward and catch-up.
#pragma once

#include <cstdint>

#include "platform/message_box.h"

namespace mivora {

void PresentationThread(platform::WindowHandle window);

// Decodes one compressed frame (size bytes) and, when render is nonzero, converts it to
// destination. large: the frame's large flag (1 when unknown). Under the decode lock.
void DecodeAndShow(const std::uint8_t* data, std::int32_t size, std::uint16_t* destination,
                   std::int32_t render, std::int32_t rowSkip, std::int32_t large);

// Drops the description of the last decoded picture: its planes belong to a decoder that is
// being opened again or released, and a frame that yields no picture must not convert them.
void ForgetPicture();

// Where the picture lies on the display for the current options.
void PlacePicture(platform::WindowHandle window);
// Display position of the picture (display memory + startOffset).
std::uint16_t* PictureDestination();

void WallClockTick();
// Hands the run's clock to the tick counter from now on (no audio, or audio that failed).
void UseWallClock();
void FastForwardStep(std::int32_t rowSkip);
void SkipFramesQueued();
void SkipFramesDirect();

// True when audio is enabled and the item has audio.
bool AudioEnabledForItem();

}  // namespace mivora
