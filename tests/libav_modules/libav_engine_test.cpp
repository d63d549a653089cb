// The outside decoders in the opening step and the engine: which reader, decoder and frame
// supply each path gets, and that the item plays to its end with every frame shown.
#include <gtest/gtest.h>

#include <filesystem>

#include "decoder/decoder_entry.h"
#include "engine/controls.h"
#include "engine/player_state.h"
#include "input/avi_reader.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/wide_string.h"
#include "tests/engine/engine_fixture.h"
#include "tests/libav_modules/libav_fixtures.h"

namespace mivora::test {
namespace {

namespace fs = std::filesystem;

using LibavEngine = EngineTest;

// The Open of the table a reader module (or, with an empty name, the built-in reader) fills.
void* ReaderOpen(const char16_t* module) {
  MediaSource table;
  if (module == nullptr) {
    InitializeAviReader(&table);
    return reinterpret_cast<void*>(table.Open);
  }
  platform::ModuleHandle handle = platform::LoadModule(module);
  auto initialize = platform::GetEntryPointAs<InitializeReaderFn>(handle, u"InitializeReader");
  if (initialize) initialize(&table);
  platform::FreeModule(handle);  // the engine holds its own reference
  return reinterpret_cast<void*>(table.Open);
}

// Ends what runs, as closing the player does, and lets the next item load.
void EndRun() {
  EndPlayback();
  State().exiting = 0;
}

// What the opening step chose, read under its lock: an ending run reloads the item on its own
// thread.
struct Chosen {
  void* open = nullptr;
  std::int32_t depth = 0;
  bool twoFrameSkip = true;
  DecoreFrameFn decoreFrame = nullptr;
  std::int32_t frames = 0;
};
Chosen WhatWasChosen() {
  std::lock_guard<platform::RecursiveMutex> hold(LoadLock());
  PlayerState& s = State();
  const MediaInfo* info = s.info.load();
  return Chosen{reinterpret_cast<void*>(s.source.Open), s.queueDepth.load(), s.twoFrameSkip.load(),
                s.decoreFrame, info ? info->frameCount : 0};
}

std::string CopyAs(const std::string& from, const std::string& name) {
  const std::string to = TempPath(name);
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  return to;
}

// clip.MPEG: mpegreader, the copying decoder, direct mode, no two-frame skip, whatever the
// fourcc; after a seek it plays on to its end from the key frame.
TEST_F(LibavEngine, MpegPathsPlayThroughTheReaderInDirectMode) {
  const Clip clip = Mpeg2Clip();
  ASSERT_FALSE(clip.path.empty());
  const std::string path = CopyAs(clip.path, "clip.MPEG");
  exitAtEnd = false;
  Open(path);
  ASSERT_TRUE(PresentationRunning());
  const Chosen chosen = WhatWasChosen();
  EXPECT_EQ(chosen.open, ReaderOpen(u"mpegreader.dll"));
  EXPECT_EQ(chosen.depth, 1);
  EXPECT_FALSE(chosen.twoFrameSkip);
  EXPECT_EQ(chosen.decoreFrame, &PassThroughDecoreFrame);
  EXPECT_EQ(chosen.frames, clip.frames);
  // mivora-play's test plays it from the start; here a seek while it plays goes on to the end.
  const std::int32_t frames = chosen.frames;
  SeekToPercent(50);
  ASSERT_TRUE(WaitForNaturalEnd());
  EXPECT_GE(framesShown.load(), frames / 2 - clip.keyEvery);
  EXPECT_LE(framesShown.load(), frames / 2 + clip.keyEvery + 5);
}

// DIV3 + MP3 goes through the built-in reader and msmpeg in queued mode (mivora-play's test
// plays it to its end); ".Mpg" is not an MPEG path, so such an AVI goes the same way, while an
// MPEG file under that name is no AVI and fails to load; DIV3 with PCM sound is refused.
TEST_F(LibavEngine, Div3AndCaseSensitiveMpegPaths) {
  const Clip div3 = Div3Clip();
  const Clip mpeg = Mpeg1Clip();
  ASSERT_FALSE(div3.path.empty() || mpeg.path.empty());
  for (const std::string& path : {div3.path, CopyAs(div3.path, "div3clip.Mpg")}) {
    framesShown = 0;
    Open(path);
    ASSERT_TRUE(PresentationRunning()) << path;
    const Chosen chosen = WhatWasChosen();
    EXPECT_EQ(chosen.open, ReaderOpen(nullptr));
    EXPECT_EQ(chosen.depth, 20);
    EXPECT_NE(chosen.decoreFrame, &decore_frame);
    EXPECT_NE(chosen.decoreFrame, &PassThroughDecoreFrame);
    EXPECT_TRUE(platform::MessageBoxLog().empty());
    // Stopped only once it plays: a stop before the reader thread has started is lost (the
    // thread clears the request when it starts) and the stop would wait for ever.
    EXPECT_TRUE(WaitFor([] { return framesShown.load() > 5; }));
    EndRun();
  }

  const std::string pcm =
      MakeFixture("div3-pcm.avi",
                  "-f lavfi -i testsrc=size=176x144:rate=25 -f lavfi -i sine=sample_rate=22050 "
                  "-t 1 -c:v msmpeg4 -vtag DIV3 -c:a pcm_s16le -f avi");
  ASSERT_FALSE(pcm.empty());
  const struct {
    std::string path;
    std::string message;
  } refused[] = {
      {CopyAs(mpeg.path, "clip.Mpg"), "Load Error: Failed to load file"},
      {pcm, "Video Error: This file contains an incompatible audio format"},
  };
  for (const auto& c : refused) {
    platform::ClearMessageBoxLog();
    Open(c.path);
    EXPECT_FALSE(PresentationRunning()) << c.path;
    const auto log = platform::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u) << c.path;
    EXPECT_EQ(platform::ToUtf8(log[0].caption) + ": " + platform::ToUtf8(log[0].text), c.message);
  }
}

}  // namespace
}  // namespace mivora::test
