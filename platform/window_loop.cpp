// The main window's life and its message loop: creation, posted and sent messages, timers,
// SDL's input turned into window messages, modal loops and destruction.
#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "backends/imgui_impl_sdl.h"
#include "backends/imgui_impl_sdlrenderer.h"
#include "platform/message_box.h"
#include "platform/presentation.h"
#include "platform/sync.h"
#include "platform/ui_thread.h"
#include "platform/wide_string.h"
#include "platform/window_state.h"

namespace mivora::platform {

using namespace window_detail;

void InstallWindowMessageBoxes(bool withDisplay);  // window_dialogs.cpp

namespace {

std::atomic<MainWindowState*> current{nullptr};
bool quitPosted = false;
int quitCode = 0;
std::uint32_t wakeEvent = 0;

MainWindowState* FromHandle(WindowHandle handle) {
  MainWindowState* w = current.load();
  return w != nullptr && handle == w ? w : nullptr;
}

void Wake(MainWindowState& w) {
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    w.woken = true;
  }
  w.wake.notify_all();
}

// Frames go into the window's own copy of the display, which the user-interface thread shows.
class WindowPresentation final : public PresentationBackend {
 public:
  void Present(const std::uint16_t* pixels, int width, int height, std::int64_t) override {
    MainWindowState* w = current.load();
    if (w == nullptr) return;
    if (width <= 0 || height <= 0) return;
    {
      std::lock_guard<std::mutex> hold(w->mutex);
      ResizeScreen(*w, width, height);
      const ClientArea& a = w->area;
      for (int row = 0; row < height; ++row)
        std::copy(pixels + std::size_t(row) * width, pixels + std::size_t(row + 1) * width,
                  w->screen.begin() + std::size_t(row) * a.width + a.displayLeft);
      w->screenChanged = true;
      w->woken = true;
    }
    w->wake.notify_all();
  }
};

bool IsInputMessage(std::uint32_t message) {
  return message == kMsgKeyDown || message == kMsgKeyUp || message == kMsgCommand ||
         message == kMsgLButtonDown || message == kMsgDropFiles;
}

std::intptr_t Dispatch(MainWindowState& w, const PendingMessage& m) {
  if (w.modalDepth > 0 && IsInputMessage(m.message)) {
    // A dialog is up: the player's own input waits until it closes.
    w.deferred.push_back(m);
    return 0;
  }
  std::u16string text = m.text;
  const std::uintptr_t wParam =
      m.message == kMsgDropFiles ? reinterpret_cast<std::uintptr_t>(&text) : m.wParam;
  return w.proc(&w, m.message, wParam, m.lParam);
}

void DispatchKey(MainWindowState& w, std::int32_t key, std::uint16_t modifiers) {
  if (w.modalDepth > 0) return;  // the dialog's (Dear ImGui has it)
  for (auto& child : w.children) {
    if (w.focus == child.get() && child->shown && child->description.key &&
        child->description.key(key))
      return;
  }
  Dispatch(w, {kMsgKeyDown, static_cast<std::uintptr_t>(key), modifiers, {}});
}

void DispatchClick(MainWindowState& w, int clientX, int clientY) {
  if (clientX < 0 || clientY < 0 || clientX >= w.layout.clientWidth ||
      clientY >= w.layout.clientRows)
    return;
  const std::intptr_t where = (std::intptr_t(clientY) << 16) | (clientX & 0xFFFF);
  Dispatch(w, {kMsgLButtonDown, 0, where, {}});
}

void HandleSdlEvent(MainWindowState& w, const SDL_Event& e) {
  if (w.imgui) ImGui_ImplSDL2_ProcessEvent(&e);
  w.framesToDraw = std::max(w.framesToDraw, 2);
  const bool dialogHasKeys = w.imgui && ImGui::GetIO().WantTextInput;
  switch (e.type) {
    case SDL_QUIT:
      Dispatch(w, {kMsgClose, 0, 0, {}});
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE) Dispatch(w, {kMsgClose, 0, 0, {}});
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) Dispatch(w, {kMsgSetFocus, 0, 0, {}});
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) w.paintPending = true;
      break;
    case SDL_KEYDOWN:
      w.lastKey = e.key.keysym.sym;
      if (!dialogHasKeys) DispatchKey(w, e.key.keysym.sym, e.key.keysym.mod);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT && !(w.imgui && ImGui::GetIO().WantCaptureMouse)) {
        const Layout& l = w.layout;
        DispatchClick(w, int((e.button.x - l.left) / l.scale), int((e.button.y - l.top) / l.scale));
      }
      break;
    case SDL_DROPFILE:
      if (e.drop.file != nullptr) {
        Dispatch(w, {kMsgDropFiles, 0, 0, FromUtf8(e.drop.file)});
        SDL_free(e.drop.file);
      }
      break;
    default:
      break;
  }
}

// Injected input enters where the user's would: as SDL events when there is a display, so that
// Dear ImGui's dialogs see it too, else straight as messages.
void TakeInjected(MainWindowState& w) {
  Injected next;
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    if (w.injected.empty()) return;
    next = w.injected.front();
    w.injected.pop_front();
  }
  if (next.kind == Injected::Kind::Drop) {
    Dispatch(w, {kMsgDropFiles, 0, 0, next.text});
    return;
  }
  if (next.kind == Injected::Kind::Click) {
    DispatchClick(w, next.x, next.y);
    return;
  }
  if (w.sdl == nullptr) {
    if (next.kind == Injected::Kind::KeyDown) DispatchKey(w, next.key, next.modifiers);
    return;
  }
  SDL_Event e{};
  e.type = next.kind == Injected::Kind::KeyDown ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = next.kind == Injected::Kind::KeyDown ? SDL_PRESSED : SDL_RELEASED;
  e.key.windowID = SDL_GetWindowID(w.sdl);
  e.key.keysym.sym = next.key;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(next.key);
  e.key.keysym.mod = next.modifiers;
  HandleSdlEvent(w, e);
}

void RunTimers(MainWindowState& w) {
  const std::uint32_t now = GetTickCount();
  std::vector<std::uintptr_t> due;
  for (auto& [id, timer] : w.timers) {
    if (std::int32_t(now - timer.due) >= 0) {
      timer.due = now + timer.periodMs;
      due.push_back(id);
    }
  }
  for (std::uintptr_t id : due) Dispatch(w, {kMsgTimer, id, 0, {}});
}

std::uint32_t NextTimerWaitMs(MainWindowState& w) {
  std::uint32_t wait = 10;
  const std::uint32_t now = GetTickCount();
  for (auto& [id, timer] : w.timers) {
    const std::int32_t left = std::int32_t(timer.due - now);
    wait = std::min<std::uint32_t>(wait, std::uint32_t(std::max(left, 0)));
  }
  return wait;
}

// One pass of the loop: requests, input, posted messages, timers, painting, a frame, a wait.
void PumpOnce(MainWindowState& w, const std::function<bool()>* modal, bool* modalGoesOn) {
  ServeUserInterfaceRequests();
  if (w.sdl != nullptr) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      if (e.type == wakeEvent) continue;
      HandleSdlEvent(w, e);
      if (current.load() != &w) return;
    }
  }
  TakeInjected(w);
  if (current.load() != &w) return;
  if (w.modalDepth == 0 && !w.deferred.empty()) {
    std::deque<PendingMessage> deferred;
    deferred.swap(w.deferred);
    for (const auto& m : deferred) {
      Dispatch(w, m);
      if (current.load() != &w) return;
    }
  }
  std::deque<PendingMessage> posted;
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    posted.swap(w.posted);
    if (w.paintWanted) w.paintPending = true;
    w.paintWanted = false;
  }
  for (const auto& m : posted) {
    Dispatch(w, m);
    if (current.load() != &w) return;
  }
  RunTimers(w);
  if (current.load() != &w) return;
  if (w.paintPending) {
    w.paintPending = false;
    Dispatch(w, {kMsgPaint, 0, 0, {}});
    if (current.load() != &w) return;
    w.framesToDraw = std::max(w.framesToDraw, 1);
  }
  bool changed;
  {
    std::lock_guard<std::mutex> hold(w.mutex);
    changed = w.screenChanged;
  }
  if (w.sdl != nullptr && (changed || w.framesToDraw > 0 || modal != nullptr)) {
    DrawFrame(w, modal, modalGoesOn);
    if (w.framesToDraw > 0) --w.framesToDraw;
    if (modal != nullptr) return;  // a dialog draws every pass
  }
  // An injected event waits for the next pass: one a frame.
  std::unique_lock<std::mutex> hold(w.mutex);
  if (!w.woken && w.posted.empty() && w.injected.empty())
    w.wake.wait_for(hold, std::chrono::milliseconds(NextTimerWaitMs(w)));
  w.woken = false;
}

}  // namespace

namespace window_detail {
void ResizeScreen(MainWindowState& w, int width, int height) {
  width = std::clamp(width, 1, 3840);
  height = std::clamp(height, 1, 2160);
  if (w.area.displayWidth == width && w.area.displayHeight == height) return;
  ClientArea& a = w.area;
  a.width = std::max(width, kMinClientWidth);
  a.displayLeft = (a.width - width) / 2;
  a.displayWidth = width;
  a.displayHeight = height;
  w.screen.assign(std::size_t(a.width) * height, 0);
  w.screenChanged = true;
  w.sizeChanged = true;
  w.paintWanted = true;  // the status band moves with the display's foot
  w.woken = true;
}

MainWindowState* Current() {
  return current.load();
}
bool IsChild(WindowHandle handle) {
  MainWindowState* w = current.load();
  if (w == nullptr) return false;
  for (auto& c : w->children)
    if (c.get() == handle) return true;
  return false;
}
std::string Utf8(std::u16string_view text) {
  return ToUtf8(text);
}
}  // namespace window_detail

WindowHandle CreateMainWindow(const WindowDescription& description) {
  if (current.load() != nullptr || description.proc == nullptr) return nullptr;
  auto* w = new MainWindowState;
  w->proc = description.proc;
  w->className = description.className;
  w->title = description.title;
  w->menu = description.menu;
  SetUserInterfaceThread();

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");  // nearest: pixels stay pixels
    // SDL's software renderer unless the user names another (SDL_RENDER_DRIVER): a 640 x 264
    // client area costs it little, and what it draws reads back exactly on every display (an
    // OpenGL renderer under Xvfb read back black).
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "software", SDL_HINT_DEFAULT);
    const int height = kClientHeight + 19 + 24;  // with the menu bar and the slider strip
    w->sdl = SDL_CreateWindow(ToUtf8(description.title).c_str(), SDL_WINDOWPOS_CENTERED,
                              SDL_WINDOWPOS_CENTERED, kClientWidth, height,
                              SDL_WINDOW_RESIZABLE | (description.show ? 0 : SDL_WINDOW_HIDDEN));
    if (w->sdl != nullptr) w->renderer = SDL_CreateRenderer(w->sdl, -1, 0);
    if (w->renderer == nullptr && w->sdl != nullptr)
      w->renderer = SDL_CreateRenderer(w->sdl, -1, SDL_RENDERER_SOFTWARE);
    if (w->renderer != nullptr)
      w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_RGB565,
                                     SDL_TEXTUREACCESS_STREAMING, kDisplayWidth, kDisplayHeight);
    if (w->texture != nullptr) {
      w->textureWidth = kDisplayWidth;
      w->textureHeight = kDisplayHeight;
    }
    if (w->texture == nullptr) {
      std::fprintf(stderr, "mivora: no display (%s); playing without a window\n", SDL_GetError());
      if (w->renderer) SDL_DestroyRenderer(w->renderer);
      if (w->sdl) SDL_DestroyWindow(w->sdl);
      w->renderer = nullptr;
      w->sdl = nullptr;
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
  } else {
    std::fprintf(stderr, "mivora: no display (%s); playing without a window\n", SDL_GetError());
  }
  if (w->sdl != nullptr) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // the layout is ours, not a file's
    ImGui::StyleColorsLight();
    ImGui_ImplSDL2_InitForSDLRenderer(w->sdl);
    ImGui_ImplSDLRenderer_Init(w->renderer);
    w->imgui = true;
    wakeEvent = SDL_RegisterEvents(1);
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  }
  current = w;
  SetUserInterfaceWake([w] {
    Wake(*w);
    if (w->sdl != nullptr) {
      SDL_Event e{};
      e.type = wakeEvent;
      SDL_PushEvent(&e);
    }
  });
  RegisterPresentationBackend("window", [](std::string_view) {
    return std::unique_ptr<PresentationBackend>(new WindowPresentation);
  });
  InstallWindowMessageBoxes(w->sdl != nullptr);
  quitPosted = false;
  w->proc(w, kMsgCreate, 0, 0);
  return current.load() == w ? w : nullptr;
}

bool WindowHasDisplay(WindowHandle window) {
  MainWindowState* w = FromHandle(window);
  return w != nullptr && w->sdl != nullptr;
}

WindowHandle MainWindow() {
  return current.load();
}

void DestroyMainWindow(WindowHandle window) {
  MainWindowState* w = FromHandle(window);
  if (w == nullptr || w->destroying) return;
  w->destroying = true;
  // Threads that wait for this thread are answered now: the destroy handler waits for them.
  CloseUserInterfaceRequests();
  w->proc(w, kMsgDestroy, 0, 0);
  SetMessageBoxHandler(nullptr);
  current = nullptr;
  if (w->imgui) {
    ImGui_ImplSDLRenderer_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
  }
  if (w->waitCursor) SDL_FreeCursor(w->waitCursor);
  if (w->texture) SDL_DestroyTexture(w->texture);
  if (w->renderer) SDL_DestroyRenderer(w->renderer);
  if (w->sdl) {
    SDL_DestroyWindow(w->sdl);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  // Kept, not freed: another thread may have read the window's address just before it went and
  // still post to it (its queue then goes nowhere).
  w->sdl = nullptr;
  w->renderer = nullptr;
  w->texture = nullptr;
  w->waitCursor = nullptr;
  w->imgui = false;
  static std::vector<std::unique_ptr<MainWindowState>> retired;
  retired.emplace_back(w);
}

std::intptr_t DefaultWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t,
                                std::intptr_t) {
  if (message == kMsgClose) DestroyMainWindow(window);
  return 0;
}

bool PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  MainWindowState* w = FromHandle(window);
  if (w == nullptr) return false;
  {
    std::lock_guard<std::mutex> hold(w->mutex);
    w->posted.push_back({message, wParam, lParam, {}});
    w->woken = true;
  }
  w->wake.notify_all();
  if (w->sdl != nullptr) {
    SDL_Event e{};
    e.type = wakeEvent;
    SDL_PushEvent(&e);
  }
  return true;
}

std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  std::intptr_t result = 0;
  RunOnUserInterfaceThread([&] {
    if (MainWindowState* w = FromHandle(window)) result = w->proc(w, message, wParam, lParam);
  });
  return result;
}

int RunMessageLoop() {
  while (!quitPosted) {
    MainWindowState* w = current.load();
    if (w == nullptr) break;
    PumpOnce(*w, nullptr, nullptr);
  }
  return quitCode;
}

void PostQuitMessage(int exitCode) {
  quitPosted = true;
  quitCode = exitCode;
}

bool RunModalLoop(const std::function<bool()>& frame) {
  MainWindowState* w = current.load();
  if (w == nullptr || w->sdl == nullptr) return false;
  ++w->modalDepth;
  // Dialogs are worked from the keyboard too (Tab, arrows, Space); the player's own keys go to
  // the window procedure otherwise, so navigation is on only while a dialog is up.
  ImGuiIO& io = ImGui::GetIO();
  const ImGuiConfigFlags flags = io.ConfigFlags;
  io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
  bool goesOn = true;
  const auto* outerFrame = w->modalFrame;
  bool* outerGoesOn = w->modalGoesOn;
  w->modalFrame = &frame;
  w->modalGoesOn = &goesOn;
  while (goesOn && current.load() == w && !quitPosted) PumpOnce(*w, &frame, &goesOn);
  if (current.load() != w) return false;
  io.ConfigFlags = flags;
  w->modalFrame = outerFrame;
  w->modalGoesOn = outerGoesOn;
  --w->modalDepth;
  return true;
}

void SetWindowTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) {
  if (MainWindowState* w = FromHandle(window))
    w->timers[id] = {periodMs, GetTickCount() + periodMs};
}

void KillWindowTimer(WindowHandle window, std::uintptr_t id) {
  if (MainWindowState* w = FromHandle(window)) w->timers.erase(id);
}

void InvalidateWindow(WindowHandle window) {
  if (MainWindowState* w = FromHandle(window)) {
    if (OnUserInterfaceThread()) {
      w->paintPending = true;
      return;
    }
    {
      std::lock_guard<std::mutex> hold(w->mutex);
      w->paintWanted = true;
      w->woken = true;
    }
    w->wake.notify_all();
  }
}

void SetWindowTitle(WindowHandle window, std::u16string_view title) {
  if (MainWindowState* w = FromHandle(window)) {
    w->title = title;
    if (w->sdl) SDL_SetWindowTitle(w->sdl, ToUtf8(title).c_str());
  }
}

void SetWindowFullScreen(WindowHandle window, bool fullScreen) {
  MainWindowState* w = FromHandle(window);
  if (w == nullptr || w->fullScreen == fullScreen) return;
  w->fullScreen = fullScreen;
  if (w->sdl) {
    // The size before full screen comes back after it (not every video driver restores it).
    if (fullScreen) SDL_GetWindowSize(w->sdl, &w->windowedWidth, &w->windowedHeight);
    SDL_SetWindowFullscreen(w->sdl, fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!fullScreen && w->windowedWidth > 0)
      SDL_SetWindowSize(w->sdl, w->windowedWidth, w->windowedHeight);
  }
  w->framesToDraw = 2;
}

void SetWindowDisplaySize(WindowHandle window, int width, int height) {
  MainWindowState* w = FromHandle(window);
  if (w == nullptr || width <= 0 || height <= 0) return;
  {
    std::lock_guard<std::mutex> hold(w->mutex);
    ResizeScreen(*w, width, height);
  }
  w->wake.notify_all();
}

ClientArea WindowClientArea(WindowHandle window) {
  MainWindowState* w = FromHandle(window);
  if (w == nullptr) return {};
  std::lock_guard<std::mutex> hold(w->mutex);
  return w->area;
}

WindowFrameRect WindowFrame(WindowHandle window) {
  WindowFrameRect r;
  MainWindowState* w = FromHandle(window);
  if (w == nullptr || w->sdl == nullptr) return r;
  SDL_GetWindowPosition(w->sdl, &r.x, &r.y);
  SDL_GetWindowSize(w->sdl, &r.width, &r.height);
  return r;
}

bool WindowFullScreen(WindowHandle window) {
  MainWindowState* w = FromHandle(window);
  return w != nullptr && w->fullScreen;
}

void SetDisplayPower(WindowHandle window, bool on) {
  if (MainWindowState* w = FromHandle(window)) {
    w->displayOn = on;
    w->framesToDraw = 2;
  }
}

bool DisplayPowerOn(WindowHandle window) {
  MainWindowState* w = FromHandle(window);
  return w == nullptr || w->displayOn;
}

void KeepDisplayAwake(bool awake) {
  if (awake)
    SDL_DisableScreenSaver();
  else
    SDL_EnableScreenSaver();
}

void SetWaitCursor(bool shown) {
  MainWindowState* w = current.load();
  if (w == nullptr || w->sdl == nullptr || !OnUserInterfaceThread()) return;
  if (shown && w->waitCursor == nullptr)
    w->waitCursor = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_WAIT);
  SDL_SetCursor(shown && w->waitCursor ? w->waitCursor : SDL_GetDefaultCursor());
}

WindowHandle CreateChildWindow(WindowHandle parent, ChildWindowLayout description) {
  MainWindowState* w = FromHandle(parent);
  if (w == nullptr) return nullptr;
  w->children.push_back(std::make_unique<Child>());
  w->children.back()->description = std::move(description);
  w->framesToDraw = 2;
  return w->children.back().get();
}

void DestroyChildWindow(WindowHandle child) {
  MainWindowState* w = current.load();
  if (w == nullptr) return;
  if (w->focus == child) w->focus = w;
  std::erase_if(w->children, [child](const std::unique_ptr<Child>& c) { return c.get() == child; });
  w->framesToDraw = 2;
}

void ShowChildWindow(WindowHandle child, bool shown) {
  MainWindowState* w = current.load();
  if (w == nullptr) return;
  for (auto& c : w->children)
    if (c.get() == child) c->shown = shown;
  w->framesToDraw = 2;
}

bool ChildWindowVisible(WindowHandle child) {
  MainWindowState* w = current.load();
  if (w == nullptr) return false;
  for (auto& c : w->children)
    if (c.get() == child) return c->shown;
  return false;
}

void SetWindowFocus(WindowHandle window) {
  MainWindowState* w = current.load();
  if (w != nullptr && (window == w || IsChild(window))) w->focus = window;
}

WindowHandle WindowFocus() {
  MainWindowState* w = current.load();
  return w ? w->focus : nullptr;
}

bool CaptureClientArea(std::vector<std::uint8_t>& rgb, int& width, int& height) {
  bool ok = false;
  RunOnUserInterfaceThread([&] {
    MainWindowState* w = current.load();
    if (w == nullptr || w->sdl == nullptr) return;
    w->captured = false;
    w->captureWanted = true;
    DrawFrame(*w, w->modalFrame, w->modalGoesOn);
    if (!w->captured) return;
    rgb = w->capture;
    width = w->layout.clientWidth;
    height = w->layout.clientRows;
    ok = true;
  });
  return ok;
}

void InjectKeyPress(std::int32_t key, std::uint16_t modifiers) {
  MainWindowState* w = current.load();
  if (w == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(w->mutex);
    w->injected.push_back({Injected::Kind::KeyDown, key, modifiers, 0, 0, {}});
    w->injected.push_back({Injected::Kind::KeyUp, key, modifiers, 0, 0, {}});
    w->woken = true;
  }
  w->wake.notify_all();
}

void InjectClick(int clientX, int clientY) {
  MainWindowState* w = current.load();
  if (w == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(w->mutex);
    w->injected.push_back({Injected::Kind::Click, 0, 0, clientX, clientY, {}});
    w->woken = true;
  }
  w->wake.notify_all();
}

void InjectDrop(std::u16string_view path) {
  MainWindowState* w = current.load();
  if (w == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(w->mutex);
    w->injected.push_back({Injected::Kind::Drop, 0, 0, 0, 0, std::u16string(path)});
    w->woken = true;
  }
  w->wake.notify_all();
}

}  // namespace mivora::platform
