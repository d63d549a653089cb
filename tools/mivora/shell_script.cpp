#include "tools/mivora/shell_script.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/controls.h"
#include "engine/player_state.h"
#include "platform/png_file.h"
#include "platform/presentation.h"
#include "platform/sync.h"
#include "platform/ui_thread.h"
#include "platform/wave_out.h"
#include "platform/wide_string.h"
#include "platform/window.h"
#include "shell/bars.h"
#include "shell/shell_window.h"

namespace mivora::shell_script {
namespace {

std::thread runner;
bool failed = false;

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> steps;
  std::stringstream in(text);
  std::string step;
  while (std::getline(in, step, ';')) {
    const auto first = step.find_first_not_of(" \t\n");
    if (first == std::string::npos) continue;
    steps.push_back(step.substr(first, step.find_last_not_of(" \t\n") - first + 1));
  }
  return steps;
}

// Device 0's volume in percent, as the volume keys count it.
int VolumePercent() {
  std::uint32_t volume = 0;
  platform::WaveOutGetVolume(nullptr, &volume);
  return int(((volume >> 16) * 100u) / 65535u);
}

std::string StatusLine() {
  std::string line;
  platform::RunOnUserInterfaceThread([&] {
    const platform::WindowHandle w = platform::MainWindow();
    line = std::string("paused=") + (State().paused.load() ? "1" : "0") +
           " playing=" + (PresentationRunning() ? "1" : "0") +
           " fullscreen=" + (platform::WindowFullScreen(w) ? "1" : "0") +
           " display=" + (platform::DisplayPowerOn(w) ? "1" : "0") +
           " bars=" + (BarsShown() ? "1" : "0") +
           " frame=" + std::to_string(Shell().lastFrameShown.load()) +
           " volume=" + std::to_string(VolumePercent());
    const platform::WindowFrameRect frame = platform::WindowFrame(w);
    line += " window=" + std::to_string(frame.width) + "x" + std::to_string(frame.height) + "+" +
            std::to_string(frame.x) + "+" + std::to_string(frame.y) + " status=";
    for (const std::string& text : platform::WindowStatusTexts()) line += "[" + text + "]";
  });
  return line;
}

bool Holds(const std::string& what, const std::string& argument) {
  PlayerState& s = State();
  if (what == "playing") return PresentationRunning() && !s.paused.load() && s.runFrame.load() > 0;
  if (what == "paused") return PresentationRunning() && s.paused.load();
  if (what == "idle") return !PresentationRunning();
  if (what == "frames")
    return platform::PresentedFrames() >= std::strtoull(argument.c_str(), nullptr, 10);
  if (what == "status") return StatusLine().find("[" + argument + "]") != std::string::npos;
  return false;
}

bool Step(const std::string& step) {
  std::stringstream in(step);
  std::string verb, argument;
  in >> verb;
  std::getline(in >> std::ws, argument);
  if (verb == "key") {
    std::uint16_t modifiers = 0;
    std::string name = argument;
    if (name.rfind("Ctrl+", 0) == 0 && name.size() > 5) {
      modifiers = KMOD_LCTRL;
      name = name.substr(5);
    }
    const SDL_Keycode key = SDL_GetKeyFromName(name.c_str());
    if (key == SDLK_UNKNOWN) return false;
    platform::InjectKeyPress(key, modifiers);
    return true;
  }
  if (verb == "click") {
    int x = 0, y = 0;
    if (std::sscanf(argument.c_str(), "%d %d", &x, &y) != 2) return false;
    platform::InjectClick(x, y);
    return true;
  }
  if (verb == "command") {
    return platform::PostWindowMessage(platform::MainWindow(), platform::kMsgCommand,
                                       std::strtoul(argument.c_str(), nullptr, 10));
  }
  if (verb == "drop") {
    platform::InjectDrop(platform::FromUtf8(argument));
    return true;
  }
  if (verb == "sleep") {
    platform::Sleep(static_cast<std::uint32_t>(std::atof(argument.c_str()) * 1000));
    return true;
  }
  if (verb == "wait") {
    std::stringstream words(argument);
    std::string what, rest;
    words >> what;
    std::getline(words >> std::ws, rest);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Holds(what, rest)) {
      if (std::chrono::steady_clock::now() > until || platform::MainWindow() == nullptr)
        return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  if (verb == "screenshot") {
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    return platform::CaptureClientArea(rgb, width, height) &&
           platform::WritePngRgb(argument, rgb.data(), width, height);
  }
  if (verb == "print") {
    std::printf("%s\n", StatusLine().c_str());
    std::fflush(stdout);
    return true;
  }
  return false;
}

}  // namespace

bool StartScript(const std::string& text, std::string& error) {
  const std::vector<std::string> steps = Split(text);
  for (const std::string& step : steps) {
    const std::string verb = step.substr(0, step.find(' '));
    static const char* const known[] = {"key",  "click", "command",    "drop",
                                        "wait", "sleep", "screenshot", "print"};
    bool ok = false;
    for (const char* k : known) ok = ok || verb == k;
    if (!ok) {
      error = "unknown step \"" + step + "\"";
      return false;
    }
  }
  runner = std::thread([steps] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (platform::MainWindow() == nullptr) {
      if (std::chrono::steady_clock::now() > until) {
        std::fprintf(stderr, "mivora: script: no window after 30 s\n");
        failed = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (const std::string& step : steps) {
      if (!Step(step)) {
        std::fprintf(stderr, "mivora: script step \"%s\" failed\n", step.c_str());
        failed = true;
        // The window closes, so the run ends rather than waiting for a user.
        platform::PostWindowMessage(platform::MainWindow(), platform::kMsgCommand, 40002);
        return;
      }
    }
  });
  return true;
}

bool FinishScript() {
  if (runner.joinable()) runner.join();
  return !failed;
}

}  // namespace mivora::shell_script
