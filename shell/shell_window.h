// The player's main window: its window procedure, what it keeps, and the main function that
// creates it and runs the message loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "output/display_size.h"
#include "platform/window.h"
#include "shell/player_options.h"

namespace mivora {

// Messages the engine's threads post to the window (they never draw themselves).
enum ShellMessage : std::uint32_t {
  kMsgEnterFullScreen = platform::kMsgUser + 1,
  kMsgLeaveFullScreen,
  kMsgEnableCommandBar,  // wParam: 1 enabled
  kMsgCheckMenuItem,     // wParam: command, lParam: 1 checked
  kMsgRunEnded,          // wParam: 1 when the run reached its end
};

inline constexpr std::uintptr_t kKeepAwakeTimer = 10;
inline constexpr std::uint32_t kKeepAwakePeriodMs = 60000;

struct ShellWindow {
  platform::WindowHandle mainWindow = nullptr;
  platform::WindowHandle commandBar = nullptr;
  void* instance = nullptr;
  bool keepAwakeTimer = false;
  // Quit when the last item has ended (a command-line player's behaviour).
  bool autoExit = false;
  int naturalEnds = 0;
  // The last frame that reached the display (its index in the video stream), -1 for none.
  std::atomic<std::int32_t> lastFrameShown{-1};
  // Options given on the command line: laid over the stored ones for this run only.
  std::optional<DisplaySize> displaySize;
  std::optional<bool> otherMpeg4Video;
  PlayerOptions stored;     // as loaded, before the command line's
  PlayerOptions commanded;  // as the command line left them
};
ShellWindow& Shell();

std::intptr_t PlayerWindowProc(platform::WindowHandle window, std::uint32_t message,
                               std::uintptr_t wParam, std::intptr_t lParam);

// The main function: takes the command line (a path, an address or a ".pdl" playlist), loads the
// options, creates the window and runs the message loop. Returns the loop's exit code, or 0 when
// the window could not be created.
int PlayerMain(void* instance, std::u16string_view commandLine, int show);

// Starts or stops the keep-awake timer to match the option.
void UpdateKeepAwakeTimer();

}  // namespace mivora
