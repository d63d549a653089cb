// The player's menu and key commands, by their identifiers.
#pragma once

namespace mivora {

enum class Command : int {
  Exit = 40002,
  Pause = 40004,
  Rotate = 40005,
  Audio = 40006,
  PauseToo = 40007,
  Stop = 40008,
  Open = 40010,
  DoubleSize = 40011,
  CleanVideo = 40012,
  FastForward = 40016,
  ShowSlider = 40021,
  FileMenu = 40023,
  NextItem = 40026,
  OpenUrl = 40027,
  Shuffle = 40028,
  Configure = 40029,
  About = 40030,
  Equalizer = 40031,
};

constexpr int Id(Command command) {
  return static_cast<int>(command);
}

}  // namespace mivora
