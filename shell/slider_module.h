// The slider module "slider.dll": a position bar beneath the picture that follows playback and
// seeks it.
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "shell/player_options.h"

namespace mivora {

inline constexpr char16_t kSliderModule[] = u"slider.dll";

extern "C" {
using SeekCallback = void (*)(std::int32_t percent);
using PositionCallback = std::int32_t (*)();
// program instance, parent window, 0, 0, seek, position, options -> the slider window.
using InitSliderFn = platform::WindowHandle (*)(void* instance, platform::WindowHandle parent,
                                                int x, int y, SeekCallback seek,
                                                PositionCallback position, PlayerOptions* options);
using DestroySliderFn = void (*)();
}

}  // namespace mivora
