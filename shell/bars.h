// What surrounds the picture: the position slider, full-screen mode (which hides the menu bar,
// the status line and the slider and covers the desktop's panel) and the display power.
#pragma once

#include "platform/window.h"

namespace mivora {

// Shows the slider when the ShowSlider option is set (loading "slider.dll" the first time).
void OpenSlider(platform::WindowHandle parent);
// Hides the slider, or destroys it and frees its module when the option is clear.
void RemoveSlider();
// 0 enters full-screen mode, 1 leaves it.
void SetFullScreen(bool barsVisible);
// True when the menu bar and status line are shown (0 until the first SetFullScreen).
bool BarsShown();
// The display key: the picture goes dark or comes back; the sound goes on.
void ToggleDisplayPower();
bool DisplayIsOn();
// Frees the slider module (window destruction).
void CloseSlider();

}  // namespace mivora
