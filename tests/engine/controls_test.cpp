// The controls while an item plays: seeking while paused, fast forward, output-mode changes, and
// random control sequences at random moments that must never deadlock or leave a thread behind.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

#include "engine/controls.h"
#include "engine/frame_queue.h"
#include "input/open_item.h"
#include "output/converter_select.h"
#include "output/converters.h"
#include "platform/clock.h"
#include "platform/display_memory.h"
#include "platform/wide_string.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "tests/engine/engine_fixture.h"

namespace mivora::test {
namespace {

bool DisplayHasPicture() {
  // The presentation thread converts into the display under the decode lock.
  std::lock_guard<platform::CriticalSection> hold(State().decodeLock);
  const std::uint16_t* p = platform::DisplayMemory();
  for (int i = 0; i < platform::kDisplayPixels; ++i) {
    if (p[i] != 0) return true;
  }
  return false;
}

// Seeking while paused shows the picture there and stays paused; rotate recomputes the placement
// and the converter without reopening; fast forward moves on by three frames a step.
TEST_F(EngineTest, ControlsWhilePlayingAndPaused) {
  Open(SamplePath(), /*autoStart=*/false);
  ASSERT_TRUE(PresentationRunning());
  EXPECT_TRUE(State().paused.load());
  ASSERT_NE(State().pausedBitmap.load(), nullptr);

  SeekToPercent(50);
  EXPECT_TRUE(State().paused.load());
  MediaInfo* info = State().info.load();
  // The reader advances the position on another thread.
  auto position = [info] { return std::atomic_ref<std::int32_t>(info->currentFrame).load(); };
  // The sample has key frames at 0 and 50: the first one at or after 50 % is read next.
  EXPECT_GE(position(), 50);
  EXPECT_LE(State().framesInRun.load(), 50);

  WriteOption(Options().Rotate, std::uint8_t(1));
  RefreshPicture();
  EXPECT_EQ(ConverterHook, &ConvertRotated);
  EXPECT_EQ(State().rowSkip.load(), 640 - 240);
  WriteOption(Options().DoubleSize, std::uint8_t(1));
  RefreshPicture();
  EXPECT_EQ(ConverterHook, &ConvertRotatedDouble);
  TogglePause();

  FastForwardCommand();
  ASSERT_TRUE(WaitFor([] { return State().fastForward.load() && State().paused.load(); }));
  const std::int32_t at = position();
  ASSERT_TRUE(WaitFor([&] { return position() >= at + 6 || position() >= 100; }));
  FastForwardCommand();  // off again: playing from where it got to
  EXPECT_FALSE(State().fastForward.load());
  EXPECT_FALSE(State().paused.load());
  EXPECT_TRUE(DisplayHasPicture());
  exitAtEnd = true;
  ASSERT_TRUE(WaitForNaturalEnd());
}

enum class Control { Pause, Ff, Seek, Stop, Next, Rotate, Double, Brighter, Audio, Count };

void Press(Control c, std::mt19937& random) {
  PlayerOptions& o = Options();
  switch (c) {
    case Control::Pause:
      PauseCommand();
      break;
    case Control::Ff:
      FastForwardCommand();
      break;
    case Control::Seek:
      SeekToPercent(int(random() % 110));
      break;
    case Control::Stop:
      StopPlayback();
      break;
    case Control::Next:
      NextItemCommand();
      break;
    case Control::Rotate:
      WriteOption(o.Rotate, std::uint8_t(ReadOption(o.Rotate) ^ 1));
      RefreshPicture();
      break;
    case Control::Double:
      WriteOption(o.DoubleSize, std::uint8_t(ReadOption(o.DoubleSize) ^ 1));
      RefreshPicture();
      break;
    case Control::Brighter:
      WriteOption(o.Brightness, ReadOption(o.Brightness) + 10);
      break;
    case Control::Audio:
      WriteOption(o.Audio, std::uint8_t(ReadOption(o.Audio) ^ 1));
      break;
    case Control::Count:
      break;
  }
}

// A seek while the sound plays goes on from the new place to the end of the item, even when the
// audio thread had already read the stream to its end and only the device's queue was left.
TEST_F(EngineTest, SeekingWithSoundPlaysOnToTheEnd) {
  Open(SamplePath());
  // The sample's 4 s of sound are read (and queued) long before they have played.
  ASSERT_TRUE(WaitFor([] { return framesShown.load() >= 25; }));
  SeekToPercent(10);  // to the key frame at 50
  ASSERT_TRUE(WaitForNaturalEnd());
  // Every frame from the new place on passes, shown or (in a slowed build) dropped to keep time.
  EXPECT_GE(framesShown.load() + lastRunDropped.load(), 25 + 45);
}

// A stop asked for while a run is finishing on its own returns once the run is over: the run's
// end, signalled just as the stop began, is not lost. The caller is woken the moment the run
// reports its end, so its stop lands in the run's last steps. A stop that never returned
// would leave nothing to report, so a watchdog ends the process with a message.
TEST_F(EngineTest, StopAsTheRunEndsReturns) {
  const std::string clip = MakeClip("tiny", "testsrc=size=176x144", 1, 0);
  ASSERT_FALSE(clip.empty());
  platform::SetClockSpeed(16.0);
  struct Watchdog {
    std::atomic<bool> done{false};
    std::thread thread{[this] {
      for (int ms = 0; ms < 120000 && !done.load(); ms += 10) platform::Sleep(10);
      if (done.load()) return;
      std::fprintf(stderr, "StopPlayback did not return\n");
      std::abort();
    }};
    ~Watchdog() {
      done = true;
      thread.join();
    }
  } watchdog;
  exitAtEnd = true;  // nothing is loaded after the end
  for (int n = 0; n < 25; ++n) {
    State().exiting = 0;
    const int before = naturalEnds.load();
    Open(clip);
    ASSERT_TRUE(PresentationRunning());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (naturalEnds.load() == before && std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    ASSERT_GT(naturalEnds.load(), before) << "run " << n;
    StopPlayback();
    ASSERT_TRUE(WaitFor([] { return !EngineThreadsRunning(); })) << "run " << n;
    UnloadItem();
  }
}

// Random controls at random moments, on a single item and on a playlist, queued and direct
// (the MPEG-free direct path through the built-in reader is the cache mode's): every sequence
// ends, with every thread joined, within a bound. MIVORA_SOAK=N runs N sequences.
TEST_F(EngineTest, RandomControlSequencesAlwaysEnd) {
  const char* soak = std::getenv("MIVORA_SOAK");
  const int sequences = soak != nullptr ? std::atoi(soak) : 6;
  const std::string short_clip = MakeClip("short", "testsrc=size=176x144", 2, 44100);
  ASSERT_FALSE(short_clip.empty());
  std::mt19937 random(20261209);
  int ended = 0;
  for (int n = 0; n < sequences; ++n) {
    Options() = PlayerOptions{};
    Options().CacheMode = std::uint8_t(random() % 2);
    State().exiting = 0;
    ClearPlaylist();
    if (random() % 2) {
      const std::u16string text = platform::FromUtf8(short_clip + "\r\n" + SamplePath() + "\r\n");
      ReadPlaylist(text.data(), text.size());
      ChooseFirstItem();
      State().autoStart = 1;
      LoadCurrentItem(nullptr);
    } else {
      Open(random() % 2 ? SamplePath() : short_clip, random() % 3 != 0);
    }
    const int presses = 3 + int(random() % 8);
    for (int i = 0; i < presses; ++i) {
      platform::Sleep(std::uint32_t(random() % 400));
      Press(Control(random() % int(Control::Count)), random);
    }
    EndPlayback();
    ASSERT_FALSE(EngineThreadsRunning()) << "sequence " << n;
    UnloadItem();
    ++ended;
  }
  EXPECT_EQ(ended, sequences);
  std::printf("random control sequences: %d ended\n", ended);
}

}  // namespace
}  // namespace mivora::test
