// The main window's state, shared by the files that carry the window: the loop, painting, the
// menu and the dialogs. Fields above `mutex` belong to the user-interface thread alone.
#pragma once

#include <SDL.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display_memory.h"
#include "platform/window.h"

namespace mivora::platform::window_detail {

struct PendingMessage {
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  std::u16string text;  // the path of a drop
};

struct Timer {
  std::uint32_t periodMs = 0;
  std::uint32_t due = 0;
};

// What a paint left in the status band, drawn again every frame until the next paint.
struct BandItem {
  enum class Kind { Fill, Rectangle, Text } kind = Kind::Fill;
  PaintRect rect;
  std::uint32_t fill = 0, pen = 0, colour = 0, background = 0;
  int penWidth = 0;
  std::string text;  // UTF-8
};

struct Child {
  ChildWindowLayout description;
  bool shown = false;
};

// An injected event waiting for its frame: Dear ImGui sees a key only when its press and release
// fall in different frames.
struct Injected {
  enum class Kind { KeyDown, KeyUp, Click, Drop } kind = Kind::KeyDown;
  std::int32_t key = 0;
  std::uint16_t modifiers = 0;
  int x = 0, y = 0;
  std::u16string text;
};

struct Layout {
  int menuHeight = 0;
  float scale = 1;
  int left = 0, top = 0;  // client area origin in window pixels
  int clientWidth = kClientWidth;
  int clientRows = kClientHeight;
  int displayRows = 240;
  int childTop = 0;
};

struct MainWindowState {
  WindowProc proc = nullptr;
  std::u16string className, title;
  SDL_Window* sdl = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  int textureWidth = 0, textureHeight = 0;
  SDL_Cursor* waitCursor = nullptr;
  bool imgui = false;
  std::vector<MenuItem> menu;
  bool menuShown = true, menuEnabled = true, fullScreen = false, displayOn = true;
  int windowedWidth = 0, windowedHeight = 0;
  std::map<std::uintptr_t, Timer> timers;
  bool paintPending = true;
  std::vector<BandItem> band;
  std::vector<std::unique_ptr<Child>> children;
  WindowHandle focus = nullptr;
  int modalDepth = 0;
  // The innermost dialog's frame, so that a screenshot taken meanwhile shows it.
  const std::function<bool()>* modalFrame = nullptr;
  bool* modalGoesOn = nullptr;
  std::deque<PendingMessage> deferred;
  bool destroying = false;
  int framesToDraw = 2;
  Layout layout;
  std::vector<std::uint8_t> capture;
  std::int32_t lastKey = 0;
  bool captureWanted = false;
  bool captured = false;

  // Shared with other threads.
  std::mutex mutex;
  std::condition_variable wake;
  bool paintWanted = false;
  bool woken = false;
  std::deque<PendingMessage> posted;
  std::deque<Injected> injected;
  // The display rows of the client area (area.width x area.displayHeight), the display itself
  // at area.displayLeft.
  ClientArea area;
  std::vector<std::uint16_t> screen = std::vector<std::uint16_t>(kDisplayPixels);
  bool screenChanged = true;
  bool sizeChanged = false;  // the window should take the area's size
};

// Makes the client area show a display of width x height; the caller holds w.mutex. The rows go
// black when the size changes.
void ResizeScreen(MainWindowState& w, int width, int height);

// The window while it exists (null before and after).
MainWindowState* Current();
bool IsChild(WindowHandle handle);

// Drawing one frame (window_frame.cpp) and the menu bar (window_menu.cpp).
void DrawFrame(MainWindowState& w, const std::function<bool()>* modal, bool* modalGoesOn);
void DrawMenuBar(MainWindowState& w);
std::string Utf8(std::u16string_view text);

}  // namespace mivora::platform::window_detail
