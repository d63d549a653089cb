// The desktop window the player lives in, with the handheld's window model: one main window with
// a window procedure, a message loop on the user-interface thread, posted and sent messages,
// timers, a menu bar with check marks, painting through a drawing context, and modal loops for
// dialogs. SDL2 carries the window and its input; Dear ImGui draws the menu bar, dialogs and child
// windows (the slider). The window's client area is the 640 x 240 display with a 24-row status
// band beneath it; it is scaled to the window with its aspect kept.
//
// Only the user-interface thread (the one that created the window) draws. Other threads post
// their requests (PostWindowMessage) or send them and wait (SendWindowMessage); a send never
// waits past the window's destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace mivora::platform {

// Message numbers, as the handheld's window system numbers them.
enum WindowMessage : std::uint32_t {
  kMsgCreate = 0x0001,
  kMsgDestroy = 0x0002,
  kMsgSetFocus = 0x0007,
  kMsgPaint = 0x000F,
  kMsgClose = 0x0010,
  kMsgKeyDown = 0x0100,  // wParam: the key code (an SDL key code), lParam: modifier state
  kMsgKeyUp = 0x0101,
  kMsgCommand = 0x0111,      // wParam: the command identifier
  kMsgTimer = 0x0113,        // wParam: the timer identifier
  kMsgLButtonDown = 0x0201,  // lParam: client x in the low 16 bits, y in the high 16 bits
  kMsgDropFiles = 0x0233,    // wParam: address of a std::u16string with the dropped path
  kMsgUser = 0x0400,         // the program's own messages start here
};

using WindowProc = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                     std::uintptr_t wParam, std::intptr_t lParam);

// The client area: the display, then the status band. Its size follows the display's
// (SetWindowDisplaySize): the handheld's 640 x 240 to start with, never narrower than
// kMinClientWidth so the status band keeps room for its texts (a narrower display is centred).
inline constexpr int kClientWidth = 640;
inline constexpr int kStatusBandRows = 24;
inline constexpr int kClientHeight = 240 + kStatusBandRows;
inline constexpr int kMinClientWidth = 320;

struct MenuItem {
  std::u16string text;  // "&" marks the access key; empty with command 0: a separator
  int command = 0;
  bool checked = false;
  std::vector<MenuItem> items;  // a drop-down when not empty
};

struct WindowDescription {
  std::u16string className;
  std::u16string title;
  WindowProc proc = nullptr;
  std::vector<MenuItem> menu;
  bool show = true;
};

// Creates the main window on the calling thread, which becomes the user-interface thread, and
// delivers kMsgCreate before it returns. Without a display that SDL can open, the window is
// headless: messages, timers, menus and painting work, nothing is shown (one line says so).
WindowHandle CreateMainWindow(const WindowDescription& description);
// Whether the window is shown on a real display.
bool WindowHasDisplay(WindowHandle window);
// kMsgDestroy is delivered, then the window is gone (its pending sends are answered with 0).
void DestroyMainWindow(WindowHandle window);
WindowHandle MainWindow();
bool OnUserInterfaceThread();

std::intptr_t DefaultWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam);
// Queues a message for the window procedure; false when there is no such window.
bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0);
// Calls the window procedure on the user-interface thread and returns its result; from another
// thread it waits until the message has been handled or the window is destroyed (then 0).
std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message,
                                std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
// Runs a function on the user-interface thread and waits for it (at once on that thread);
// false when the window went away first.
bool RunOnUserInterfaceThread(const std::function<void()>& work);

// The message loop: gets, translates and dispatches until the quit message; returns its code.
int RunMessageLoop();
void PostQuitMessage(int exitCode);

void SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs);
void KillWindowTimer(WindowHandle window, std::uintptr_t id);
// Asks for a kMsgPaint at the next pass of the loop.
void InvalidateWindow(WindowHandle window);
void SetWindowTitle(WindowHandle window, std::u16string_view title);

// The menu bar (the command bar).
void CheckWindowMenuItem(WindowHandle window, int command, bool checked);
bool WindowMenuItemChecked(WindowHandle window, int command);
void ShowMenuBar(WindowHandle window, bool shown);
void EnableMenuBar(WindowHandle window, bool enabled);
// The display the client area shows: width x height pixels (any thread). The window takes the
// size (scaled down to fit the desktop, aspect kept) unless it is in full screen.
void SetWindowDisplaySize(WindowHandle window, int width, int height);
// The client area as it stands: its width, the display's rows and the status band's first row
// (the display's height), and the column where the display starts.
struct ClientArea {
  int width = kClientWidth;
  int displayLeft = 0;
  int displayWidth = 640;
  int displayHeight = 240;
  int Height() const { return displayHeight + kStatusBandRows; }
};
ClientArea WindowClientArea(WindowHandle window);
// Where the window stands on the desktop (user-interface thread): x, y, width and height of its
// inside, without the title bar; all 0 without a window.
struct WindowFrameRect {
  int x = 0, y = 0, width = 0, height = 0;
};
WindowFrameRect WindowFrame(WindowHandle window);
// Full screen covers the desktop and its panel; the status band is not drawn in it.
void SetWindowFullScreen(WindowHandle window, bool fullScreen);
bool WindowFullScreen(WindowHandle window);
// The display power: off blanks the picture (sound goes on).
void SetDisplayPower(WindowHandle window, bool on);
bool DisplayPowerOn(WindowHandle window);
// Holds the desktop's screensaver and idle suspend off while set.
void KeepDisplayAwake(bool awake);
void SetWaitCursor(bool shown);

// Painting: between BeginPaint and EndPaint (inside kMsgPaint, on the user-interface thread).
// Colours are 0xRRGGBB. Coordinates are client pixels.
struct PaintRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
class PaintContext {
 public:
  virtual ~PaintContext() = default;
  virtual void FillRect(const PaintRect& rect, std::uint32_t colour) = 0;
  // Filled and outlined with a pen of penWidth pixels.
  virtual void Rectangle(const PaintRect& rect, std::uint32_t fill, std::uint32_t pen,
                         int penWidth) = 0;
  virtual void DrawText(const PaintRect& rect, std::u16string_view text, std::uint32_t colour,
                        std::uint32_t background) = 0;
  // A 5-6-5 bitmap of width x height (rows of width pixels), drawn at (x, y), each pixel
  // repeated scale times across and down, clipped to the display.
  virtual void DrawBitmap565(int x, int y, int width, int height, const std::uint16_t* bits,
                             int scale) = 0;
};
PaintContext& BeginPaint(WindowHandle window);
void EndPaint(WindowHandle window);

// Child windows drawn inside the main window (the slider): a strip of the given height beneath
// the client area while shown. draw is called inside each drawn frame (Dear ImGui is current);
// key gets key presses first while the child has the focus and returns true when it used one.
struct ChildWindowLayout {
  int height = 20;
  std::function<void(int x, int y, int width, int height)> draw;
  std::function<bool(std::int32_t key)> key;
};
WindowHandle CreateChildWindow(WindowHandle parent, ChildWindowLayout description);
void DestroyChildWindow(WindowHandle child);
void ShowChildWindow(WindowHandle child, bool shown);
bool ChildWindowVisible(WindowHandle child);
void SetWindowFocus(WindowHandle window);
WindowHandle WindowFocus();

// A modal loop on the user-interface thread: frame() is called inside every drawn frame (Dear
// ImGui is current) until it returns false. Posted messages, timers and painting go on; input
// goes to Dear ImGui only. Returns false when the window was destroyed meanwhile.
bool RunModalLoop(const std::function<bool()>& frame);
// The last key pressed (SDL key code) since the last call, 0 for none: lets a dialog capture a key.
std::int32_t TakeLastKeyPress();

// Screenshots of what the window shows: the client area as 8-bit RGB, one to one (its width x
// the display's rows and the status band, or the display's rows alone in full screen). Taken at
// the next drawn frame.
bool CaptureClientArea(std::vector<std::uint8_t>& rgb, int& width, int& height);

// The texts the last paint wrote into the status band (UTF-8), for scripts and tests.
std::vector<std::string> WindowStatusTexts();

// Injected input, handled as if it came from the user (tests and scripts).
void InjectKeyPress(std::int32_t key, std::uint16_t modifiers = 0);
void InjectClick(int clientX, int clientY);
void InjectDrop(std::u16string_view path);

}  // namespace mivora::platform
