#include "shell/shell_window.h"

#include <cstdio>

#include "engine/controls.h"
#include "engine/player_state.h"
#include "engine/shell_hooks.h"
#include "input/open_item.h"
#include "output/gx_display.h"
#include "platform/display_memory.h"
#include "platform/message_box.h"
#include "platform/presentation.h"
#include "platform/ui_thread.h"
#include "platform/wide_string.h"
#include "platform/window.h"
#include "shell/bars.h"
#include "shell/commands.h"
#include "shell/idle_picture.h"
#include "shell/open_dialog.h"
#include "shell/play_time.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "shell/settings.h"
#include "shell/volume.h"

namespace mivora {
namespace {

using platform::WindowHandle;

GXKeyList& KeyList() {
  static GXKeyList keys{};
  return keys;
}

// A check-mark command: the option byte and its menu item change together.
void ToggleChecked(std::uint8_t& option, Command command) {
  const std::uint8_t value = ReadOption(option) ? 0 : 1;
  WriteOption(option, value);
  platform::CheckWindowMenuItem(Shell().mainWindow, Id(command), value != 0);
}

void OnCreate(WindowHandle window) {
  ShellWindow& shell = Shell();
  shell.mainWindow = window;
  PlayerState& s = State();
  s.mainWindow = window;
  if (platform::WindowHasDisplay(window)) platform::SelectPresentation("window");
  UpdateKeepAwakeTimer();
  CreateNamedObjects();
  GXOpenInput();
  KeyList() = GXGetDefaultKeys(2);  // kept, as the handheld's player keeps it
  PlayerOptions& o = Options();
  platform::CheckWindowMenuItem(window, Id(Command::Audio), o.Audio != 0);
  platform::CheckWindowMenuItem(window, Id(Command::CleanVideo), o.CleanVideo != 0);
  platform::CheckWindowMenuItem(window, Id(Command::ShowSlider), o.ShowSlider != 0);
  platform::CheckWindowMenuItem(window, Id(Command::Shuffle), o.Shuffle != 0);
  if (!CurrentPath().empty()) {
    s.autoStart = ReadOption(o.AutoPlay);
    LoadCurrentItem(window);
  } else {
    // Nothing to load, so no load shows the bars: they are shown here, with "(No File)".
    SetFullScreen(true);
  }
}

void OnDestroy() {
  PlayerState& s = State();
  s.exiting = 1;
  SaveOptionsThroughModule();
  EndPlayback();
  UnloadItem();
  GXCloseDisplay();
  GXCloseInput();
  CloseSlider();
  if (Shell().keepAwakeTimer) platform::KillWindowTimer(Shell().mainWindow, kKeepAwakeTimer);
  Shell().keepAwakeTimer = false;
  platform::KeepDisplayAwake(false);
  platform::ClosePresentation();
  s.mainWindow = nullptr;
  platform::PostQuitMessage(0);
}

void OnCommand(WindowHandle window, int command) {
  PlayerOptions& o = Options();
  switch (static_cast<Command>(command)) {
    case Command::Exit:
      platform::DestroyMainWindow(window);
      break;
    case Command::Pause:
    case Command::PauseToo:
      PauseCommand();
      break;
    case Command::Rotate:
      WriteOption(o.Rotate, std::uint8_t(ReadOption(o.Rotate) ? 0 : 1));
      RefreshPicture();
      break;
    case Command::Audio:
      StopPlayback();
      ToggleChecked(o.Audio, Command::Audio);
      break;
    case Command::Stop:
      StopPlayback();
      break;
    case Command::Open:
      OpenDialog(window, false);
      break;
    case Command::DoubleSize:
      WriteOption(o.DoubleSize, std::uint8_t(ReadOption(o.DoubleSize) ? 0 : 1));
      RefreshPicture();
      break;
    case Command::CleanVideo:
      ToggleChecked(o.CleanVideo, Command::CleanVideo);
      RefreshPicture();
      break;
    case Command::FastForward:
      FastForwardCommand();
      break;
    case Command::ShowSlider:
      ToggleChecked(o.ShowSlider, Command::ShowSlider);
      if (ReadOption(o.ShowSlider))
        OpenSlider(window);
      else
        RemoveSlider();
      platform::InvalidateWindow(window);
      break;
    case Command::NextItem:
      NextItemCommand();
      break;
    case Command::OpenUrl:
      OpenDialog(window, true);
      break;
    case Command::Shuffle:
      ToggleChecked(o.Shuffle, Command::Shuffle);
      break;
    case Command::Configure:
      ConfigureThroughModule();
      UpdateKeepAwakeTimer();
      break;
    case Command::Equalizer:
      EqualizerThroughModule();
      break;
    case Command::About:
      platform::ShowMessageBox(
          window,
          u"Mivora " + platform::FromUtf8(MIVORA_VERSION) + u"\nA compact video and audio player.",
          u"About Mivora", platform::MessageButtons::Ok, platform::MessageIcon::Information);
      break;
    default:
      break;
  }
}

void OnKey(WindowHandle window, std::int32_t key, std::intptr_t modifiers) {
  std::fprintf(stderr, "%d\n", key);  // the debug output of the handheld's player
  const PlayerOptions& o = Options();
  // Desktop habits beside the configurable keys: Escape leaves full screen, Ctrl+Q quits.
  constexpr std::int32_t kEscape = 27, kQ = 'q';
  constexpr std::intptr_t kControl = 0x0040 | 0x0080;
  if (key == kQ && (modifiers & kControl) != 0) {
    platform::DestroyMainWindow(window);
    return;
  }
  if (key == kEscape && !BarsShown()) {
    WriteOption(Options().FullScreen, std::uint8_t(0));
    State().fullScreenActive = 0;
    SetFullScreen(true);
    return;
  }
  // Every match acts, so a key assigned twice does both.
  if (key == ReadOption(o.PauseKey))
    PauseCommand();
  else if (key == ReadOption(o.DoubleSizeKey))
    OnCommand(window, Id(Command::DoubleSize));
  else if (key == ReadOption(o.RotateKey))
    OnCommand(window, Id(Command::Rotate));
  else if (key == ReadOption(o.StopKey))
    OnCommand(window, Id(Command::Stop));
  else if (key == ReadOption(o.DisplayKey))
    ToggleDisplayPower();
  if (key == ReadOption(o.VolumeDownKey) || key == ReadOption(o.VolumeUpKey)) {
    ChangeVolume(key == ReadOption(o.VolumeUpKey));
    return;
  }
  if (key == ReadOption(o.NextItemKey)) {
    OnCommand(window, Id(Command::NextItem));
  } else if (key == ReadOption(o.FastForwardKey)) {
    OnCommand(window, Id(Command::FastForward));
  } else if (key == ReadOption(o.BrightnessUpKey) || key == ReadOption(o.BrightnessDownKey)) {
    const int delta = key == ReadOption(o.BrightnessUpKey) ? 10 : -10;
    WriteOption(Options().Brightness, ReadOption(Options().Brightness) + delta);
    State().previousShown = 0;
  }
}

std::u16string FileNamePart(const std::u16string& path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

void OnPaint(WindowHandle window) {
  PlayerState& s = State();
  s.previousShown = 0;
  platform::PaintContext& dc = platform::BeginPaint(window);
  // The client area follows the display: the picture's rows, then the status band; the band's
  // right-hand box keeps the handheld's width and the file name takes the rest.
  const platform::ClientArea area = platform::WindowClientArea(window);
  const int bottom = area.Height();
  const int right = area.width;
  dc.FillRect({0, bottom - platform::kStatusBandRows, right, bottom}, 0x000000);
  const PausedBitmap* paused = s.pausedBitmap.load();
  const MediaInfo* info = s.info.load();
  if (paused != nullptr && s.paused.load() && PresentationRunning()) {
    const bool rotated = ReadOption(Options().Rotate) != 0;
    int width = rotated ? s.videoHeight : s.videoWidth,
        height = rotated ? s.videoWidth : s.videoHeight;
    width = std::min(width, area.displayWidth);
    height = std::min(height, area.displayHeight);
    if (paused->bits != nullptr && paused->width > 0)
      dc.DrawBitmap565(area.displayLeft + s.leftOffset.load(), s.topOffset.load(), paused->width,
                       std::min(paused->height, height), paused->bits,
                       ReadOption(Options().DoubleSize) ? 2 : 1);
  } else if (s.framesInRun.load() == 0 || info == nullptr || info->frameCount == 0) {
    dc.DrawBitmap565((area.width - kIdlePictureWidth) / 2, (area.displayHeight - 116) / 2,
                     kIdlePictureWidth, kIdlePictureHeight, IdlePicture(), 1);
  }
  if (ReadOption(Options().ShowSlider) && BarsShown()) {
    dc.Rectangle({0, bottom - 23, right, bottom}, 0xC0C0C0, 0x808080, 2);
    dc.Rectangle({0, bottom - 23, right - 214, bottom}, 0xC0C0C0, 0x808080, 2);
    const std::u16string path = CurrentPath();
    dc.DrawText({3, bottom - 17, right - 220, bottom},
                path.empty() ? u"(No File)" : FileNamePart(path), 0x000000, 0xC0C0C0);
    if (info != nullptr && PresentationRunning() && s.bitRate.load() > 0) {
      std::int64_t seconds = 0;
      if (info->frameCount > 0 && info->framesPerSecond > 0)
        seconds = std::int64_t(info->frameCount / info->framesPerSecond);
      else
        seconds = std::int64_t(info->audioBytes) / std::max<std::int64_t>(1, s.bitRate.load() / 8);
      dc.DrawText({right - 211, bottom - 17, right, bottom}, PlayingTimeText(seconds), 0x000000,
                  0xC0C0C0);
    }
  }
  platform::EndPaint(window);
}

// On the handheld a Shift press kept the device from suspending; here the desktop's screensaver
// and idle suspend are held off while a run plays, and allowed again otherwise.
void OnTimer() {
  platform::KeepDisplayAwake(PresentationRunning() && !State().paused.load());
}

void OnRunEnded(bool endOfStream) {
  ShellWindow& shell = Shell();
  if (!shell.autoExit || !endOfStream) return;
  const int items = std::max(1, ThePlaylist().playlistCount);
  if (++shell.naturalEnds >= items) {
    // The next load returns at once, and the window closes from its own thread.
    State().exiting = 1;
    platform::PostWindowMessage(shell.mainWindow, platform::kMsgCommand, Id(Command::Exit));
  }
}

}  // namespace

ShellWindow& Shell() {
  static ShellWindow shell;
  return shell;
}

void UpdateKeepAwakeTimer() {
  ShellWindow& shell = Shell();
  const bool wanted = ReadOption(Options().KeepAwake) != 0;
  if (wanted && !shell.keepAwakeTimer) {
    platform::SetWindowTimer(shell.mainWindow, kKeepAwakeTimer, kKeepAwakePeriodMs);
    shell.keepAwakeTimer = true;
  } else if (!wanted && shell.keepAwakeTimer) {
    platform::KillWindowTimer(shell.mainWindow, kKeepAwakeTimer);
    shell.keepAwakeTimer = false;
    platform::KeepDisplayAwake(false);
  }
}

std::intptr_t PlayerWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
  switch (message) {
    case platform::kMsgCreate:
      OnCreate(window);
      return 0;
    case platform::kMsgDestroy:
      OnDestroy();
      return 0;
    case platform::kMsgCommand:
      OnCommand(window, static_cast<int>(wParam));
      return 0;
    case platform::kMsgKeyDown:
      OnKey(window, static_cast<std::int32_t>(wParam), lParam);
      return 0;
    case platform::kMsgLButtonDown: {
      const int y = static_cast<int>((lParam >> 16) & 0xFFFF);
      if (State().fullScreenActive.load() || y <= platform::WindowClientArea(window).Height() + 10)
        PauseCommand();
      return 0;
    }
    case platform::kMsgTimer:
      if (wParam == kKeepAwakeTimer) OnTimer();
      return 0;
    case platform::kMsgSetFocus:
      if (ReadOption(Options().ShowSlider) && BarsShown()) OpenSlider(window);
      return 0;
    case platform::kMsgPaint:
      OnPaint(window);
      return 0;
    case platform::kMsgDropFiles:
      OpenPath(window, *reinterpret_cast<const std::u16string*>(wParam));
      return 0;
    case kMsgEnterFullScreen:
      SetFullScreen(false);
      return 0;
    case kMsgLeaveFullScreen:
      SetFullScreen(true);
      return 0;
    case kMsgEnableCommandBar:
      platform::EnableMenuBar(window, wParam != 0);
      return 0;
    case kMsgCheckMenuItem:
      platform::CheckWindowMenuItem(window, static_cast<int>(wParam), lParam != 0);
      return 0;
    default:
      return platform::DefaultWindowProc(window, message, wParam, lParam);
  }
}

void InstallShellHooks() {
  ShellHooks& h = Hooks();
  // The engine's threads post; the user-interface thread acts at once.
  auto post = [](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    const WindowHandle window = Shell().mainWindow;
    if (platform::OnUserInterfaceThread())
      PlayerWindowProc(window, message, wParam, lParam);
    else
      platform::PostWindowMessage(window, message, wParam, lParam);
  };
  static decltype(post) poster = post;
  h.Repaint = [](WindowHandle window) { platform::InvalidateWindow(window); };
  h.EnterFullScreen = [] { poster(kMsgEnterFullScreen, 0, 0); };
  h.LeaveFullScreen = [] { poster(kMsgLeaveFullScreen, 0, 0); };
  h.EnableCommandBar = [](bool enabled) { poster(kMsgEnableCommandBar, enabled ? 1 : 0, 0); };
  h.WaitCursor = [](bool shown) { platform::SetWaitCursor(shown); };
  h.CheckMenuItem = [](int command, bool checked) {
    poster(kMsgCheckMenuItem, static_cast<std::uintptr_t>(command), checked ? 1 : 0);
  };
  h.RunEnded = &OnRunEnded;
  h.FrameShown = [](std::int32_t frameIndex) { Shell().lastFrameShown = frameIndex; };
  h.DisplayGeometryChanged = [] {
    const platform::DisplayGeometry g = platform::CurrentDisplayGeometry();
    platform::SetWindowDisplaySize(Shell().mainWindow, g.width, g.height);
  };
}

}  // namespace mivora
