// What the engine asks of the window it plays in: repaint, full-screen mode, the command bar,
// the wait cursor and menu check marks. The shell fills these in; without a window they do
// nothing.
#pragma once

#include <cstdint>

#include "platform/message_box.h"

namespace mivora {

inline constexpr int kCommandAudio = 40006;

struct ShellHooks {
  void (*Repaint)(platform::WindowHandle window) = [](platform::WindowHandle) {};
  void (*EnterFullScreen)() = [] {};
  void (*LeaveFullScreen)() = [] {};
  void (*EnableCommandBar)(bool enabled) = [](bool) {};
  void (*WaitCursor)(bool shown) = [](bool) {};
  void (*CheckMenuItem)(int command, bool checked) = [](int, bool) {};
  // The display geometry may have changed (an item opened, the output mode changed): the window
  // sizes itself to it. Called on any thread.
  void (*DisplayGeometryChanged)() = [] {};
  // A frame reached the display: its 0-based index in the video stream.
  void (*FrameShown)(std::int32_t frameIndex) = [](std::int32_t) {};
  // A run has ended (endOfStream tells whether it reached the end); called on the presentation
  // thread before the next item is loaded. A program that ends with the last item sets exiting.
  void (*RunEnded)(bool endOfStream) = [](bool) {};
};
ShellHooks& Hooks();

}  // namespace mivora
