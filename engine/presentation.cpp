#include "engine/presentation.h"

#include "decoder/decoded_frame.h"
#include "decoder/decoder_entry.h"
#include "decoder/decoder_status.h"
#include "engine/audio_thread.h"
#include "engine/controls.h"
#include "engine/frame_queue.h"
#include "engine/output_type.h"
#include "engine/player_state.h"
#include "engine/shell_hooks.h"
#include "input/open_item.h"
#include "output/converter_select.h"
#include "output/display_layout.h"
#include "output/gx_display.h"
#include "platform/display_memory.h"
#include "shell/display_size_option.h"
#include "shell/player_options.h"
#include "shell/playlist.h"

namespace mivora {

namespace {

DecodedFrame& Picture() {
  static DecodedFrame frame;
  return frame;
}

// The clock step: the wall clock without audio; nothing while the audio thread sets the target.
void NoClockStep() {}
std::atomic<void (*)()>& ClockStep() {
  static std::atomic<void (*)()> step{&NoClockStep};
  return step;
}

std::int32_t MillisecondsFor(std::int32_t frames) {
  const MediaInfo* info = State().info.load();
  if (info == nullptr || !(info->framesPerSecond > 0)) return 0;
  return static_cast<std::int32_t>(double(frames) * 1000.0 / info->framesPerSecond);
}

void ShowFrame(const TakenFrame& frame) {
  PlayerState& s = State();
  DecodeAndShow(frame.data, frame.size, PictureDestination(), 1, s.rowSkip.load(), frame.large);
  GXEndDraw();
  Hooks().FrameShown(frame.frameIndex);
}

// Streams with B pictures come out of the built-in decoder one chunk late, so at the natural end
// of a run it still holds the last picture; an empty call hands it out. Other decoders, and
// streams without B pictures, hold none.
void ShowHeldPicture() {
  PlayerState& s = State();
  if (s.decoreFrame != &decore_frame || !s.decoderHoldsPicture.load()) return;
  DecodeAndShow(nullptr, 0, PictureDestination(), 1, s.rowSkip.load(), 1);
  GXEndDraw();
}

void LoopBody(const NamedObjects& named) {
  PlayerState& s = State();
  std::int32_t d;
  {
    std::lock_guard<std::mutex> hold(s.runLock);
    ClockStep().load()();
    d = s.runFrame.load() - s.targetFrame.load();
  }
  if (d > -3 && d < 2) {
    std::unique_lock<platform::RecursiveMutex> taking(TakeLock());
    if (s.queueDepth.load() > 1 && s.queuedFrames.load() == 0) {
      // Nothing read yet: the same frame is tried again, with the queue left to the others.
      taking.unlock();
      platform::Sleep(0);
      s.runFrame.fetch_sub(1);
    } else {
      const TakenFrame frame = Supply().TakeFrame(0);
      if (frame.data != nullptr) {
        ShowFrame(frame);
        Supply().ReleaseFrame();
      }
    }
  } else if (d < 0) {
    std::lock_guard<platform::RecursiveMutex> taking(TakeLock());
    Supply().SkipFrames();
    s.runFrame.fetch_add(1);
  } else {
    if (s.fastForward.load()) {
      FastForwardStep(s.rowSkip.load());
      platform::Sleep(0);
    } else if (AudioClockRunning()) {
      named.eventNextFrame->Wait(500);
      named.eventNextFrame->Reset();
    } else {
      // Nothing to wait on but the clock: wake when the next frame is due rather than spin.
      platform::Sleep(1);
    }
    s.runFrame.fetch_sub(1);
  }
  s.runFrame.fetch_add(1);
}

}  // namespace

ShellHooks& Hooks() {
  static ShellHooks hooks;
  return hooks;
}

bool AudioEnabledForItem() {
  const MediaInfo* info = State().info.load();
  return ReadOption(Options().Audio) != 0 && info != nullptr && info->audioBytes > 0;
}

void ForgetPicture() {
  std::lock_guard<platform::CriticalSection> hold(State().decodeLock);
  Picture() = DecodedFrame{};
}

void UseWallClock() {
  PlayerState& s = State();
  std::lock_guard<std::mutex> hold(s.runLock);
  s.runDurationMs = MillisecondsFor(s.framesInRun.load());
  s.startTick = platform::GetTickCount();
  ClockStep().store(&WallClockTick);
}

void WallClockTick() {
  PlayerState& s = State();
  if (s.paused.load()) return;
  const std::uint32_t elapsed = platform::GetTickCount() - s.startTick.load();
  const std::int32_t duration = s.runDurationMs.load();
  if (duration <= 0) {
    // A run shorter than a millisecond (or without a rate): every frame is due.
    s.targetFrame = s.framesInRun.load() + 1;
    return;
  }
  s.targetFrame = static_cast<std::int32_t>(
      std::int64_t(elapsed) * std::int64_t(s.framesInRun.load()) / std::int64_t(duration) + 1);
}

void DecodeAndShow(const std::uint8_t* data, std::int32_t size, std::uint16_t* destination,
                   std::int32_t render, std::int32_t rowSkip, std::int32_t large) {
  PlayerState& s = State();
  std::lock_guard<platform::CriticalSection> hold(s.decodeLock);
  if (s.decoreFrame == nullptr) return;
  // The display takes the placement in force now, with its converter; the paused picture its
  // one-to-one converter with rows of the picture's width. A caller's older placement could make
  // rows longer than the display and run past its end.
  OutputType type = s.displayType;
  const platform::DisplaySnapshot display = platform::CurrentDisplay();
  const bool toDisplay =
      destination >= display.memory && destination < display.memory + display.capacity;
  if (toDisplay) {
    destination = platform::DisplayDestination(s.displayLayout.startOffset);
    rowSkip = s.displayLayout.rowSkip;
  } else if (destination != nullptr) {
    type = s.pausedType;
    rowSkip = 0;
  }
  DecodedFrame& picture = Picture();
  const std::int32_t status = s.decoreFrame(data, size, &picture, render, rowSkip);
  if (s.decoreFrame == &decore_frame && LastFrameReport().pictureType == 2)
    s.decoderHoldsPicture = true;
  // An empty call at the end hands out a held picture, or nothing when none waits.
  const bool nothingHeld = data == nullptr && status != std::int32_t(DecodeStatus::Ok);
  if (render != 0 && destination != nullptr && !nothingHeld) {
    SelectConverter(0, static_cast<std::int32_t>(type));
    const std::int32_t skipUnchanged = (s.previousShown.load() == 1 && large == 0) ? 1 : 0;
    PlayerOptions& o = Options();
    ConverterHook(picture.y, std::int32_t(picture.strideY), picture.u, picture.v,
                  std::int32_t(picture.strideU), destination, s.videoWidth, s.videoHeight, rowSkip,
                  ReadOption(o.CleanVideo), ReadOption(o.Brightness), picture.prevY, picture.prevU,
                  picture.prevV, skipUnchanged, 0);
  }
  if (render == 0) s.framesDecodedUnshown.fetch_add(1);
  s.previousShown = render != 0 ? 1 : 0;
}

void PlacePicture(platform::WindowHandle /*window*/) {
  PlayerState& s = State();
  PlayerOptions& o = Options();
  const bool rotate = ReadOption(o.Rotate) != 0;
  const bool doubleSize = ReadOption(o.DoubleSize) != 0;
  const platform::DisplayGeometry geometry =
      GeometryFor(DisplaySizeOption(o), s.videoWidth, s.videoHeight, rotate, doubleSize);
  const bool handheld = geometry == platform::kHandheldGeometry;
  DisplayLayout layout;
  {
    // The geometry changes with the placement, under the lock the conversions hold, so no frame
    // is converted with one and placed with the other.
    std::lock_guard<platform::CriticalSection> hold(s.decodeLock);
    const platform::DisplayGeometry before = platform::CurrentDisplayGeometry();
    if (!platform::SetDisplayGeometry(geometry))
      platform::SetDisplayGeometry(platform::kHandheldGeometry);
    // A new geometry leaves nothing of the last picture where this one shows other rows.
    if (platform::CurrentDisplayGeometry() != before) platform::ClearDisplayMemory();
    layout = ComputeDisplayLayout(s.videoWidth, s.videoHeight, rotate, doubleSize);
    s.displayLayout = layout;
    s.displayType = OutputTypeFor(rotate, doubleSize, false);
    s.pausedType = OutputTypeFor(rotate, doubleSize, true);
  }
  Hooks().DisplayGeometryChanged();
  s.fullScreenActive = ReadOption(o.FullScreen);
  s.topOffset = layout.topOffset;
  s.leftOffset = layout.leftOffset;
  s.rowSkip = layout.rowSkip;
  GXSetViewport(0, std::uint32_t(platform::CurrentDisplayGeometry().height - 2 * layout.topOffset),
                0, 0);
  s.startOffset = layout.startOffset;
  // On the handheld's screen a picture that reaches into the bars' rows takes the whole screen.
  // A display sized to the picture has the bars below it, so only the option decides there.
  if (handheld && layout.topOffset < 46) {
    s.fullScreenActive = 1;
    if (!s.paused.load()) Hooks().EnterFullScreen();
  }
}

std::uint16_t* PictureDestination() {
  return platform::DisplayDestination(State().startOffset.load());
}

void FastForwardStep(std::int32_t rowSkip) {
  PlayerState& s = State();
  if (s.framesInRun.load() == 0) return;
  if (!s.paused.load()) {
    TogglePause();
    platform::Sleep(1000);
  }
  // The direct buffer is the paused capture's too.
  std::lock_guard<platform::RecursiveMutex> taking(TakeLock());
  FlushQueue();
  {
    std::lock_guard<std::mutex> hold(s.runLock);
    s.startTick = platform::GetTickCount();
    s.targetFrame = 0;
  }
  std::uint8_t* buffer = DirectFrameBuffer();
  for (int i = 0; i < 2; ++i) {
    const std::int32_t size = s.source.ReadVideoFrame(buffer, 1);
    DecodeAndShow(buffer, size > 0 ? size : 0, nullptr, 0, rowSkip, 1);
  }
  const std::int32_t size = s.source.ReadVideoFrame(buffer, 0);
  DecodeAndShow(buffer, size > 0 ? size : 0, PictureDestination(), 1, rowSkip, 1);
  GXEndDraw();
  s.runFrame.fetch_add(3);
}

void SkipFramesQueued() {
  PlayerState& s = State();
  const std::int32_t t = s.targetFrame.load();
  TakenFrame head = Supply().TakeFrame(1);
  if (head.data == nullptr) return;
  const std::int32_t index = head.frameIndex;
  const std::int32_t last = s.info.load()->frameCount;
  std::int32_t k = index + 1;
  // Past the last frame no key frame follows; the search ends with the stream.
  while (k < last && s.source.IsKeyFrame(k) == 0) ++k;
  if (index - s.runFrame.load() + t >= k) {
    Supply().ReleaseFrame();
    for (std::int32_t i = 0; i < k - index - 1; ++i) {
      if (Supply().TakeFrame(1).data == nullptr) return;
      Supply().ReleaseFrame();
    }
    s.droppedFrames.fetch_add(std::uint32_t(k - index));
    s.framesSkippedToKey.fetch_add(std::uint64_t(k - index));
    s.runFrame.fetch_add((k - index - 1) - 1);
    return;
  }
  DecodeAndShow(head.data, head.size, nullptr, 0, 0, 1);
  Supply().ReleaseFrame();
  head = Supply().TakeFrame(1);
  if (head.data == nullptr) return;
  DecodeAndShow(head.data, head.size, nullptr, 0, 0, 1);
  Supply().ReleaseFrame();
  s.droppedFrames.fetch_add(2);
}

void SkipFramesDirect() {
  PlayerState& s = State();
  TakenFrame frame = Supply().TakeFrame(1);
  if (frame.data == nullptr) return;
  DecodeAndShow(frame.data, frame.size, nullptr, 0, 0, 1);
  Supply().ReleaseFrame();
  s.droppedFrames.fetch_add(1);
  if (s.twoFrameSkip.load()) {
    frame = Supply().TakeFrame(1);
    if (frame.data == nullptr) return;
    DecodeAndShow(frame.data, frame.size, nullptr, 0, 0, 1);
    Supply().ReleaseFrame();
    s.droppedFrames.fetch_add(1);
  } else {
    s.runFrame.fetch_sub(1);
  }
}

void PresentationThread(platform::WindowHandle window) {
  PlayerState& s = State();
  NamedObjects named = OpenNamedObjects();
  const bool withAudio = AudioEnabledForItem();
  if (withAudio) {
    ClockStep().store(&NoClockStep);
    StartAudioThread(s.autoStart.load());
  } else {
    UseWallClock();
  }
  s.autoStart = 0;
  s.endOfStream = 0;
  s.runFrame = 1;

  while (s.framesInRun.load() >= 1) {
    if (s.stopRequested.load()) break;
    LoopBody(named);
    if (s.runFrame.load() > s.framesInRun.load()) break;
  }

  // End of the run.
  const bool naturalEnd = !s.stopRequested.load() && s.framesInRun.load() != 0 &&
                          s.runFrame.load() >= s.framesInRun.load();
  if (naturalEnd) ShowHeldPicture();
  if (s.framesInRun.load() != 0) {
    if (s.runFrame.load() >= s.framesInRun.load()) s.endOfStream = 1;
    s.readerStopRequested = 1;
    // At the natural end the queued sound still plays out (the audio thread ends by itself when
    // its stream is done, or at once when the user stops); otherwise the run stops here.
    if (!(naturalEnd && AudioClockRunning())) {
      s.stopRequested = 1;
      if (withAudio) named.eventAudio->Set();
    }
  }
  if (withAudio) {
    // Every wait of the audio thread ends with a stop, so it is waited for, not killed.
    named.eventAudioStopped->Wait();
    JoinEndedThreads(false);
  }
  const bool reachedEnd = s.endOfStream.load() != 0;
  if (reachedEnd && ThePlaylist().playlistCount != 0) NextPlaylistItem();
  Hooks().RunEnded(reachedEnd);
  named.eventAudioStopped->Reset();
  named.eventReadStopped->Wait(2000);
  named.eventReadStopped->Reset();
  if (ReadOption(Options().ShowDroppedFrames) && s.framesInRun.load() != 0 && !s.exiting.load()) {
    const std::string text = std::to_string(s.droppedFrames.load()) + "/" +
                             std::to_string(s.info != nullptr ? s.info.load()->frameCount : 0);
    platform::ShowMessageBox(window, std::u16string(text.begin(), text.end()), u"Dropped frames");
  }
  s.droppedFrames = 0;
  FlushQueue();
  ReleaseDecoder();
  s.presentationThreadId = 0;
  s.runsEnded.fetch_add(1);
  named.eventStopped->Set();
  LoadCurrentItem(window);
}

}  // namespace mivora
