// An item played from its path to its end through the real engine: sound that matches the MP3's
// decode, the opening step's choices and messages, the sound device's retries and failures.
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "decoder/decoder_status.h"
#include "engine/controls.h"
#include "engine/frame_queue.h"
#include "input/open_item.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/wave_out.h"
#include "platform/wide_string.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "tests/engine/engine_fixture.h"

namespace mivora::test {
namespace {

struct Wav {
  int channels = 0;
  int rate = 0;
  std::vector<std::int16_t> samples;
};

Wav ReadWav(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), {});
  Wav w;
  if (b.size() < 44) return w;
  auto u16 = [&](std::size_t i) { return int(b[i] | (b[i + 1] << 8)); };
  auto u32 = [&](std::size_t i) {
    return std::uint32_t(u16(i)) | (std::uint32_t(u16(i + 2)) << 16);
  };
  w.channels = u16(22);
  w.rate = int(u32(24));
  const std::size_t bytes = std::min<std::size_t>(u32(40), b.size() - 44);
  w.samples.resize(bytes / 2);
  for (std::size_t i = 0; i < w.samples.size(); ++i) w.samples[i] = std::int16_t(u16(44 + 2 * i));
  return w;
}

std::vector<std::int16_t> FfmpegPcm(const std::string& path) {
  const std::string out = TempPath("ffmpeg.raw");
  const std::string command =
      "ffmpeg -nostdin -v error -y -i '" + path + "' -vn -f s16le '" + out + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream in(out, std::ios::binary);
  std::vector<char> b((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

std::vector<std::string> Messages() {
  std::vector<std::string> m;
  for (const auto& box : platform::MessageBoxLog()) {
    m.push_back(platform::ToUtf8(box.caption) + ": " + platform::ToUtf8(box.text));
  }
  return m;
}

class Playback : public EngineTest, public ::testing::WithParamInterface<bool> {};

// At the natural end every block has been played: the device heard the whole decoded stream.
// Queued reading through the plain and the cached input module.
TEST_P(Playback, PlaysToTheEndWithTheWholeSound) {
  Options().CacheMode = GetParam() ? 1 : 0;
  const std::string wav = TempPath(GetParam() ? "cached.wav" : "plain.wav");
  ASSERT_TRUE(platform::SelectWaveBackend("wav:" + wav));
  exitAtEnd = true;
  // A slowed build on a busy machine may skip to a key frame to keep time: those frames pass too.
  const std::uint64_t skippedBefore = State().framesSkippedToKey.load();
  Open(SamplePath());
  ASSERT_TRUE(PresentationRunning());
  EXPECT_EQ(State().queueDepth.load(), 20);
  ASSERT_TRUE(WaitForNaturalEnd());
  ASSERT_TRUE(WaitFor([] { return !EngineThreadsRunning(); }));
  EXPECT_EQ(std::uint64_t(framesShown.load()) + State().droppedFrames.load() +
                (State().framesSkippedToKey.load() - skippedBefore),
            100u);
  EXPECT_GT(framesShown.load(), 80);
  EXPECT_TRUE(Messages().empty());

  const Wav heard = ReadWav(wav);
  const std::vector<std::int16_t> reference = FfmpegPcm(SamplePath());
  ASSERT_FALSE(reference.empty());
  EXPECT_EQ(heard.rate, 44100);
  EXPECT_NEAR(double(heard.samples.size()), double(reference.size()), 1152.0 * heard.channels);
  int worst = 0;
  for (std::size_t i = 0; i < std::min(heard.samples.size(), reference.size()); ++i) {
    worst = std::max(worst, std::abs(heard.samples[i] - reference[i]));
  }
  EXPECT_LE(worst, 2);  // two decoders of one stream: rounding only
}

INSTANTIATE_TEST_SUITE_P(InputModules, Playback, ::testing::Bool());

// Stop while playing discards the queued sound and leaves the item loaded, paused at its start;
// resuming plays it to the end.
TEST_F(EngineTest, StopDiscardsQueuedSoundAndReopensPaused) {
  Open(SamplePath());
  ASSERT_TRUE(WaitFor([] { return framesShown.load() > 15; }));
  const platform::WaveTotals before = platform::GetWaveTotals();
  StopPlayback();
  ASSERT_TRUE(WaitFor([] { return PresentationRunning() && State().paused.load(); }));
  const platform::WaveTotals after = platform::GetWaveTotals();
  EXPECT_GT(after.blocksReset, before.blocksReset);
  EXPECT_EQ(State().endOfStream.load(), 0);
  EXPECT_LE(State().runFrame.load(), 2);  // the paused picture is the first frame
  EXPECT_EQ(naturalEnds.load(), 0);

  exitAtEnd = true;
  const int shown = framesShown.load();
  TogglePause();
  ASSERT_TRUE(WaitForNaturalEnd());
  EXPECT_GT(framesShown.load() - shown, 80);
}

// A device that refuses 48 kHz is opened at 44.1 kHz, one that refuses 32 kHz at 22.05 kHz; one
// that opens for nothing is reported, and the picture plays on without sound.
TEST_F(EngineTest, SoundDeviceRetriesAndFailure) {
  struct Case {
    int rate;
    int opened;
  };
  for (const Case c : {Case{48000, 44100}, Case{32000, 22050}}) {
    const std::string clip =
        MakeClip("rate" + std::to_string(c.rate), "testsrc=size=176x144", 2, c.rate);
    ASSERT_FALSE(clip.empty());
    const std::string wav = TempPath("retry" + std::to_string(c.rate) + ".wav");
    ASSERT_TRUE(platform::SelectWaveBackend("wav:" + wav));
    platform::SetWaveFormatFilter(
        [r = c.rate](const platform::WaveFormat& f) { return int(f.samplesPerSecond) == r; });
    exitAtEnd = true;
    State().exiting = 0;
    Open(clip);
    ASSERT_TRUE(WaitForNaturalEnd()) << c.rate;
    ASSERT_TRUE(WaitFor([] { return !EngineThreadsRunning(); }));
    const Wav heard = ReadWav(wav);
    EXPECT_EQ(heard.rate, c.opened);
    EXPECT_NEAR(double(heard.samples.size()) / heard.channels, 2.0 * c.opened, 0.08 * c.opened);
    UnloadItem();
  }
  platform::SetWaveFormatFilter({});

  platform::RefuseAllWaveOpens(true);
  State().exiting = 0;
  exitAtEnd = true;
  framesShown = 0;
  Open(SamplePath());
  ASSERT_TRUE(WaitForNaturalEnd());
  EXPECT_GT(framesShown.load(), 80);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Wave Open Error: Error in Audio"});
  platform::RefuseAllWaveOpens(false);
}

// The opening step refuses what it cannot play, with the user told why.
TEST_F(EngineTest, RefusedItemsTellTheUser) {
  struct Case {
    std::string path;
    std::string message;
  };
  const std::string small = "testsrc=size=176x144";
  const std::string xvid = MakeClip("xvid", small, 1, 44100, "-vtag XVID");
  const std::string pcm = MakeClip("pcm", small, 1, 44100, "", "pcm_s16le");
  const std::string div3 =
      MakeClip("div3pcm", small, 1, 44100, "-c:v msmpeg4 -vtag DIV3", "pcm_s16le");
  ASSERT_FALSE(xvid.empty() || pcm.empty() || div3.empty());
  // With the DivX 3 module, DIV3 with PCM sound is refused for its sound; without the module
  // there is no decoder for it and the loader's reason is shown.
  const bool msmpegBuilt = access(platform::ModuleFilePath(u"msmpeg.dll").c_str(), R_OK) == 0;
  const Case cases[] = {
      {TempPath("missing.avi"), "Load Error: Failed to load file"},
      {xvid, "Video Error: This file contains an incompatible video format"},
      {pcm, "Video Error: This file contains an incompatible audio format"},
      {div3, msmpegBuilt ? "Video Error: This file contains an incompatible audio format"
                         : "Error loading audio decoder: "},
  };
  for (const Case& c : cases) {
    platform::ClearMessageBoxLog();
    Open(c.path);
    EXPECT_FALSE(PresentationRunning()) << c.path;
    const auto shown = Messages();
    ASSERT_EQ(shown.size(), 1u) << c.path;
    EXPECT_EQ(shown[0].substr(0, c.message.size()), c.message);
  }

  // In a playlist a missing item offers OK and Cancel; OK goes on to the next item.
  platform::ClearMessageBoxLog();
  const std::u16string text =
      platform::FromUtf8(TempPath("gone.avi") + "\r\n" + SamplePath() + "\r\n");
  ReadPlaylist(text.data(), text.size());
  ChooseFirstItem();
  State().autoStart = 1;
  LoadCurrentItem(nullptr);
  EXPECT_TRUE(PresentationRunning());
  const auto log = platform::MessageBoxLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].buttons, platform::MessageButtons::OkCancel);
  EXPECT_EQ(ThePlaylist().playlistIndex, 1);
}

// Frames larger than the 48,000 bytes of a pool entry are read whole and decode cleanly.
TEST_F(EngineTest, FramesLargerThanAPoolEntryPlay) {
  const std::string clip =
      MakeClip("large", "testsrc2=size=640x480,noise=alls=60:allf=t", 1, 0, "-q:v 1 -g 1");
  ASSERT_FALSE(clip.empty());
  exitAtEnd = true;
  Open(clip);
  ASSERT_TRUE(PresentationRunning());
  EXPECT_GT(FrameCapacity(), 48000);
  ASSERT_TRUE(WaitForNaturalEnd());
  EXPECT_GT(framesShown.load(), 0);
  EXPECT_EQ(LastFrameReport().status, DecodeStatus::Ok);
}

}  // namespace
}  // namespace mivora::test
