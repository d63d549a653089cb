// The controls of a --script: "1.5 pause; 3 seek 50; 12 quit", each at a second of wall time.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mivora::play {

enum class ScriptAction {
  Pause,
  FastForward,
  Seek,
  Stop,
  Next,
  Rotate,
  DoubleSize,
  BrightnessUp,
  BrightnessDown,
  Audio,
  Quit,
};

struct ScriptStep {
  double seconds = 0;
  ScriptAction action = ScriptAction::Pause;
  int argument = 0;  // seek: percent
};

// Steps in time order; nullopt and a message in error for a malformed script.
std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, std::string& error);

}  // namespace mivora::play
