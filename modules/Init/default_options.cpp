#include "modules/Init/default_options.h"

#include <SDL_keycode.h>

namespace mivora::settings {

void DefaultOptions(PlayerOptions& options) {
  options = PlayerOptions{};
  options.Rotate = 0;
  options.KeepAwake = 1;
  options.Audio = 1;
  options.DoubleSize = 0;
  options.CleanVideo = 0;
  options.CacheMode = 0;
  options.ShowSlider = 1;
  options.AutoPlay = 1;
  options.Shuffle = 0;
  options.CacheParam = 8192;
  options.PauseKey = SDLK_SPACE;
  options.FastForwardKey = SDLK_RIGHT;
  options.RotateKey = SDLK_r;
  options.DoubleSizeKey = SDLK_d;
  options.DisplayKey = SDLK_b;
  options.VolumeUpKey = SDLK_UP;
  options.VolumeDownKey = SDLK_DOWN;
  options.BrightnessUpKey = SDLK_EQUALS;
  options.BrightnessDownKey = SDLK_MINUS;
  options.NextItemKey = SDLK_n;
  options.DialogOption = 0;
  options.StopKey = SDLK_s;
  options.ShowDroppedFrames = 0;
  options.Brightness = 0;
  options.FullScreen = 0;
  options.DirectRead = 0;
  options.EqualizerOn = 0;
  for (auto& band : options.EqualizerBands) band = 0;
  options.OtherMpeg4Video = 0;
  options.DisplaySize = 0;  // the handheld's 640 x 240
  options.DisplayWidth = 0;
  options.DisplayHeight = 0;
}

}  // namespace mivora::settings
