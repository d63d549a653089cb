// The engine's shared state: flags, counters, clock values and thread identities that the
// presentation, reader, audio and user-interface threads meet in, with the named objects and the
// decode lock. Flags and counters are atomics: each thread re-reads them on every pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "decoder/decore.h"
#include "engine/output_type.h"
#include "input/media_source.h"
#include "output/display_layout.h"
#include "platform/message_box.h"
#include "platform/sync.h"
#include "platform/wave_out.h"

namespace mivora {

struct QueuedFrame;

inline constexpr std::int32_t kNoTargetFrame = -99;

// The paused picture: a 16-bit bitmap over pausedFrameBuffer, painted while paused.
struct PausedBitmap {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const std::uint16_t* bits = nullptr;  // rows of width pixels
};

struct PlayerState {
  std::atomic<std::uint8_t> paused{0};
  std::atomic<std::uint8_t> fastForward{0};
  std::atomic<std::uint8_t> stopRequested{0};
  std::atomic<std::uint8_t> readerStopRequested{0};
  std::atomic<std::uint8_t> endOfStream{0};
  std::atomic<std::uint8_t> autoStart{0};
  std::atomic<std::uint8_t> exiting{0};
  std::atomic<std::uint8_t> isStream{0};
  std::atomic<std::uint8_t> fullScreenActive{0};
  std::atomic<std::uint8_t> previousShown{0};

  std::atomic<std::int32_t> runFrame{0};
  std::atomic<std::int32_t> targetFrame{kNoTargetFrame};
  std::atomic<std::int32_t> framesInRun{0};
  std::atomic<std::uint32_t> startTick{0};
  std::atomic<std::int32_t> runDurationMs{0};
  std::atomic<std::int32_t> audioBytesInRun{0};
  std::atomic<std::int32_t> audioBuffersQueued{0};

  std::atomic<QueuedFrame*> queueHead{nullptr};
  std::atomic<QueuedFrame*> queueTail{nullptr};
  std::atomic<std::int32_t> queuedFrames{0};
  std::atomic<std::int32_t> queueDepth{20};
  std::atomic<std::uint32_t> droppedFrames{0};
  // Totals over the process, for reports: frames decoded without being shown, and frames passed
  // over undecoded on the way to a key frame.
  std::atomic<std::uint64_t> framesDecodedUnshown{0};
  // The built-in decoder met a B picture since it was opened: it hands pictures out one chunk
  // late and holds the last one at the end.
  std::atomic<bool> decoderHoldsPicture{false};
  std::atomic<std::uint64_t> framesSkippedToKey{0};

  std::atomic<std::uint32_t> presentationThreadId{0};
  // Presentation threads whose body has not returned. A run clears presentationThreadId before
  // it loads the next item, so during that hand-over this count is what says a thread is busy.
  std::atomic<std::int32_t> presentationThreads{0};
  std::atomic<std::uint32_t> readerThreadId{0};
  // Runs ended so far, counted after presentationThreadId is cleared. A stop waits for this count
  // to move rather than for eventStopped alone: a run that ends just as the stop is asked for
  // has set the event already, and resetting it would lose that.
  std::atomic<std::uint32_t> runsEnded{0};

  std::atomic<std::uint16_t*> pausedFrameBuffer{nullptr};  // video width x height pixels, per item
  std::atomic<PausedBitmap*> pausedBitmap{nullptr};
  std::atomic<std::int32_t> bitRate{0};

  // The item's source, its description and the installed choices (set by the loading step
  // before any thread of the item starts).
  MediaSource source;
  std::atomic<MediaInfo*> info{nullptr};
  DecoreFn decore = nullptr;
  DecoreFrameFn decoreFrame = nullptr;
  std::atomic<bool> twoFrameSkip{true};
  std::int16_t videoWidth = 0;
  std::int16_t videoHeight = 0;
  std::atomic<platform::WaveOutHandle> waveDevice{nullptr};

  // Where the picture lies (PlacePicture); read by the presentation thread.
  std::atomic<std::int16_t> topOffset{0};
  std::atomic<std::int16_t> leftOffset{0};
  std::atomic<std::int32_t> rowSkip{0};
  std::atomic<std::int32_t> startOffset{0};

  // The placement and the converters that go with it, changed together under the decode lock:
  // a conversion into the display always uses the row skip, offset and type of one placement,
  // however the options change meanwhile.
  DisplayLayout displayLayout;
  OutputType displayType = OutputType::Normal;  // for the display
  OutputType pausedType = OutputType::Normal;   // for the paused picture (one to one)

  std::atomic<platform::WindowHandle> mainWindow{nullptr};

  // Serialises every decode-and-convert: the user-interface thread decodes too (paused capture,
  // queue flush).
  platform::CriticalSection decodeLock;
  // The run's clock values (runFrame, framesInRun, startTick, targetFrame, runDurationMs) are
  // reset together by the controls and read together by the presentation loop when it compares
  // frames; both sides hold this lock for that, so a reset never lands between the loop's
  // comparison and its update. Increments outside it are atomic, so none is lost.
  std::mutex runLock;
};

PlayerState& State();

// Held while an item is loaded and by the controls the user gives (pause, fast forward, seek,
// refresh), so that a control never meets the loading of the next item at the end of a run.
// Recursive: the loading step itself pauses a new item.
platform::RecursiveMutex& LoadLock();

// The named objects and the decode lock, created with the main window and kept while it lives.
struct NamedObjects {
  std::shared_ptr<platform::Event> eventStopped;
  std::shared_ptr<platform::Event> eventAudioStopped;
  std::shared_ptr<platform::Event> eventAudio;
  std::shared_ptr<platform::Event> eventReadStopped;
  std::shared_ptr<platform::RecursiveMutex> eventBufferEmpty;
  std::shared_ptr<platform::Event> eventNextFrame;
};
// Creates the six objects (once; later calls open the same ones).
NamedObjects CreateNamedObjects();
// Opens them by name, as each thread does.
NamedObjects OpenNamedObjects();

// The engine's threads. None is ever killed: each ends itself when asked, and is joined once it
// has (a thread that starts its own successor, as the presentation thread does through the
// loading step, is joined by a later start or by JoinEndedThreads).
void StartEngineThread(std::function<void()> body);
// Joins every started thread that has ended; with waitAll, waits for all of them first.
void JoinEndedThreads(bool waitAll);
// True while any started thread has not ended (a run hands over to the next item's threads
// before its own thread ends, so this stays true across the hand-over).
bool EngineThreadsRunning();

}  // namespace mivora
