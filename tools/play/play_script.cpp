#include "tools/play/play_script.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace mivora::play {

namespace {

struct Name {
  const char* word;
  ScriptAction action;
};
constexpr Name kNames[] = {
    {"pause", ScriptAction::Pause},
    {"ff", ScriptAction::FastForward},
    {"seek", ScriptAction::Seek},
    {"stop", ScriptAction::Stop},
    {"next", ScriptAction::Next},
    {"rotate", ScriptAction::Rotate},
    {"double", ScriptAction::DoubleSize},
    {"brighter", ScriptAction::BrightnessUp},
    {"darker", ScriptAction::BrightnessDown},
    {"audio", ScriptAction::Audio},
    {"quit", ScriptAction::Quit},
};

}  // namespace

std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, std::string& error) {
  std::vector<ScriptStep> steps;
  std::stringstream all{std::string(text)};
  std::string part;
  while (std::getline(all, part, ';')) {
    std::stringstream words(part);
    std::string time, word;
    if (!(words >> time)) continue;  // empty step
    char* end = nullptr;
    const double seconds = std::strtod(time.c_str(), &end);
    if (end == time.c_str() || *end != 0 || !(seconds >= 0)) {
      error = "bad time '" + time + "'";
      return std::nullopt;
    }
    if (!(words >> word)) {
      error = "no control after " + time;
      return std::nullopt;
    }
    const auto* found = std::find_if(std::begin(kNames), std::end(kNames),
                                     [&](const Name& n) { return word == n.word; });
    if (found == std::end(kNames)) {
      error = "unknown control '" + word + "'";
      return std::nullopt;
    }
    ScriptStep step{seconds, found->action, 0};
    if (step.action == ScriptAction::Seek && !(words >> step.argument)) {
      error = "seek needs a percentage";
      return std::nullopt;
    }
    steps.push_back(step);
  }
  std::stable_sort(steps.begin(), steps.end(),
                   [](const ScriptStep& a, const ScriptStep& b) { return a.seconds < b.seconds; });
  return steps;
}

}  // namespace mivora::play
