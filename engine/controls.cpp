#include "engine/controls.h"

#include <algorithm>

#include "engine/audio_thread.h"
#include "engine/frame_queue.h"
#include "engine/player_state.h"
#include "engine/presentation.h"
#include "engine/shell_hooks.h"
#include "input/open_item.h"
#include "output/converter_select.h"
#include "platform/display_memory.h"
#include "shell/player_options.h"

namespace mivora {

namespace {

std::int32_t FramesLeft() {
  MediaInfo* info = State().info.load();
  if (info == nullptr) return 0;
  return info->frameCount -
         std::atomic_ref<std::int32_t>(info->currentFrame).load(std::memory_order_relaxed);
}

double MillisecondsFor(std::int32_t frames) {
  const MediaInfo* info = State().info.load();
  if (info == nullptr || !(info->framesPerSecond > 0)) return 0;
  return double(frames) * 1000.0 / info->framesPerSecond;
}

// Media time of the frame the source reads next: where restarted sound begins.
double CurrentFrameSeconds() {
  MediaInfo* info = State().info.load();
  if (info == nullptr || !(info->framesPerSecond > 0)) return 0;
  return double(std::atomic_ref<std::int32_t>(info->currentFrame).load()) / info->framesPerSecond;
}

// A new run from the source's current position: the loop counts again from frame 1.
void RestartRunFromSource() {
  PlayerState& s = State();
  std::lock_guard<std::mutex> hold(s.runLock);
  s.framesInRun = FramesLeft();
  s.runFrame = 0;
  s.startTick = 0;
}

}  // namespace

bool PresentationRunning() {
  return State().presentationThreadId.load() != 0;
}

void TogglePause() {
  PlayerState& s = State();
  const bool audio = ReadOption(Options().Audio) != 0;
  if (!s.paused.load()) {
    s.paused = 1;
    if (audio) PauseAudioDevice();
    // Frames already due are shown first (bounded: the loop stops taking when the run ends).
    for (int waited = 0;
         waited < 2000 && s.targetFrame.load() != 0 && s.runFrame.load() <= s.targetFrame.load() &&
         s.queuedFrames.load() != 0 && PresentationRunning();
         ++waited) {
      platform::Sleep(1);
    }
    platform::Sleep(500);
    CapturePausedFrame(s.mainWindow.load());
    Hooks().LeaveFullScreen();
    return;
  }
  s.previousShown = 0;
  if (s.fullScreenActive.load()) Hooks().EnterFullScreen();
  if (!AudioEnabledForItem()) {
    std::lock_guard<std::mutex> hold(s.runLock);
    s.startTick = platform::GetTickCount();
    s.framesInRun = s.framesInRun.load() - s.runFrame.load();
    s.runFrame = 1;
    s.runDurationMs = static_cast<std::int32_t>(MillisecondsFor(s.framesInRun.load()));
  }
  if (audio) RestartAudioDevice();
  s.paused = 0;
}

void PauseCommand() {
  PlayerState& s = State();
  std::lock_guard<platform::RecursiveMutex> one(LoadLock());
  if (!PresentationRunning()) return;
  if (s.fastForward.load()) {
    ToggleFastForward();
    platform::Sleep(500);
    CapturePausedFrame(s.mainWindow.load());
    Hooks().LeaveFullScreen();
    return;
  }
  TogglePause();
}

void FastForwardCommand() {
  PlayerState& s = State();
  std::lock_guard<platform::RecursiveMutex> one(LoadLock());
  if (!PresentationRunning()) return;
  if (s.fastForward.load()) {
    ToggleFastForward();
    TogglePause();
    return;
  }
  if (s.fullScreenActive.load()) Hooks().EnterFullScreen();
  s.fastForward = 1;
}

void ToggleFastForward() {
  PlayerState& s = State();
  s.fastForward = s.fastForward.load() ? 0 : 1;
  RestartRunFromSource();
  if (AudioEnabledForItem()) {
    const std::int32_t bytes = s.source.SyncAudioToVideo();
    {
      std::lock_guard<std::mutex> hold(s.runLock);
      s.audioBytesInRun = bytes;
    }
    SetAudioClockStart(CurrentFrameSeconds());
    ExitAudioDecoder();
    InitAudioDecoder(false);
    ResetAudioDevice();
  }
}

void SeekToPercent(std::int32_t percent) {
  PlayerState& s = State();
  std::lock_guard<platform::RecursiveMutex> one(LoadLock());
  if (s.isStream.load() || percent >= 99 || s.info.load() == nullptr || !PresentationRunning())
    return;
  const bool audio = AudioEnabledForItem();
  s.targetFrame = kNoTargetFrame;
  const bool wasPaused = s.paused.load() != 0;
  if (!wasPaused) {
    if (audio) ResetAudioDevice();
    TogglePause();
  }
  if (audio) ExitAudioDecoder();
  FlushQueue();
  const std::int32_t bytes = s.source.SeekPercent(percent < 0 ? 0 : percent);
  {
    std::lock_guard<std::mutex> hold(s.runLock);
    s.audioBytesInRun = bytes;
    s.targetFrame = kNoTargetFrame;
  }
  RestartRunFromSource();
  if (audio) {
    SetAudioClockStart(CurrentFrameSeconds());
    InitAudioDecoder(false);
  } else {
    s.startTick = platform::GetTickCount();
  }
  TogglePause();
  if (wasPaused) {
    TogglePause();
    if (audio) ResetAudioDevice();
  }
}

void StopPlayback() {
  PlayerState& s = State();
  NamedObjects named = OpenNamedObjects();
  for (;;) {
    // Read before the look at the run: a run seen running has not counted its end yet.
    const std::uint32_t ended = s.runsEnded.load();
    if (PresentationRunning()) {
      s.paused = 0;
      s.stopRequested = 1;
      if (AudioEnabledForItem()) named.eventAudio->Set();
      // The run ends within a bounded time: every wait of its threads ends with the stop. The
      // event only wakes this wait; the count says whether the run is over.
      while (s.runsEnded.load() == ended) {
        named.eventStopped->Wait(50);
        named.eventStopped->Reset();
      }
      return;
    }
    // While an ending run hands over to the next item, wait for the hand-over: the stop then
    // applies to the item it loaded, and the two never load at once.
    if (s.presentationThreads.load() == 0) {
      LoadCurrentItem(s.mainWindow.load());
      return;
    }
    platform::Sleep(1);
  }
}

void EndPlayback() {
  PlayerState& s = State();
  s.exiting = 1;
  while (EngineThreadsRunning()) {
    if (PresentationRunning()) StopPlayback();
    platform::Sleep(1);
  }
  JoinEndedThreads(true);
}

void NextItemCommand() {
  State().endOfStream = 1;
  StopPlayback();
}

void RefreshPicture() {
  PlayerState& s = State();
  std::lock_guard<platform::RecursiveMutex> one(LoadLock());
  if (!PresentationRunning()) return;
  if (!s.paused.load()) {
    TogglePause();
    TogglePause();
  } else {
    CapturePausedFrame(s.mainWindow.load());
  }
}

void CapturePausedFrame(platform::WindowHandle window) {
  PlayerState& s = State();
  if (s.framesInRun.load() == 0 || s.pausedFrameBuffer.load() == nullptr) return;
  PlacePicture(window);
  SelectOutputMode(2);
  {
    std::lock_guard<platform::RecursiveMutex> taking(TakeLock());
    std::unique_lock<std::mutex> filling(ReaderFillLock());
    if (s.queuedFrames.load() == 0) {
      std::uint8_t* buffer = DirectFrameBuffer();
      const std::int32_t size = s.source.ReadVideoFrame(buffer, 0);
      DecodeAndShow(buffer, size > 0 ? size : 0, s.pausedFrameBuffer.load(), 1, 0, 1);
    } else {
      filling.unlock();
      const TakenFrame frame = Supply().TakeFrame(0);
      if (frame.data != nullptr) {
        DecodeAndShow(frame.data, frame.size, s.pausedFrameBuffer.load(), 1, 0, 1);
        Supply().ReleaseFrame();
      }
    }
  }
  s.runFrame.fetch_add(1);
  static PausedBitmap bitmaps[2];
  static int next = 0;
  PausedBitmap& bitmap = bitmaps[next];
  next ^= 1;
  const bool rotate = ReadOption(Options().Rotate) != 0;
  std::int32_t w = rotate ? s.videoHeight : s.videoWidth;
  std::int32_t h = rotate ? s.videoWidth : s.videoHeight;
  // The one-to-one picture, cropped to the display as the converter cropped it.
  const platform::DisplayGeometry display = platform::CurrentDisplayGeometry();
  bitmap.width = std::min(w, display.width);
  bitmap.height = std::min(h, display.height);
  bitmap.bits = s.pausedFrameBuffer.load();
  s.pausedBitmap = &bitmap;
  SelectOutputMode(-1);
  Hooks().Repaint(window);
}

void SelectOutputMode(std::int32_t mode) {
  PlayerState& s = State();
  PlayerOptions& o = Options();
  DecoderParams params;
  params.width = s.videoWidth;
  params.height = s.videoHeight;
  params.reserved = 0;
  const OutputType type =
      OutputTypeFor(ReadOption(o.Rotate) != 0, ReadOption(o.DoubleSize) != 0, mode > 0);
  params.outputType = static_cast<std::int32_t>(type);
  params.cleanVideo = ReadOption(o.CleanVideo);
  s.previousShown = 0;
  std::lock_guard<platform::CriticalSection> hold(s.decodeLock);
  if (mode == 0 && s.decore != nullptr) {
    ForgetPicture();
    s.decoderHoldsPicture = false;
    s.decore(0, kDecoreInit, &params, nullptr);
  }
  SelectConverter(0, params.outputType);
}

void ReleaseDecoder() {
  PlayerState& s = State();
  std::lock_guard<platform::CriticalSection> hold(s.decodeLock);
  ForgetPicture();
  if (s.decore != nullptr) s.decore(0, kDecoreRelease, nullptr, nullptr);
}

std::int32_t PositionPercent() {
  PlayerState& s = State();
  if (s.info.load() == nullptr || s.source.GetPositionPercent == nullptr) return 0;
  return static_cast<std::int32_t>(s.source.GetPositionPercent());
}

}  // namespace mivora
