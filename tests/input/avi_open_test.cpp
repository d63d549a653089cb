// Open and Close of the AVI reader: the input module protocol, refusals and what a failed open
// leaves behind.
#include "tests/input/fake_source.h"

namespace mivora::test {
namespace {

Bytes SmallClip() {
  return AviBuilder()
      .Video("DIVX", 1, 25, 2)
      .Audio(85, 0)
      .Chunk("00dc", Pattern(1, 0, 10))
      .Chunk("01wb", Pattern(2, 0, 8))
      .Chunk("00dc", Pattern(1, 10, 11), 0)
      .Build();
}

using AviOpen = FakeSourceTest;

TEST_F(AviOpen, OpensTwiceWithTheFixedArgumentsAndTheCacheParameter) {
  MediaInfo* info = OpenBytes(SmallClip(), 0, 777);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(openCalls(), 2);
  EXPECT_EQ(openArgument(0, 0), -1);
  EXPECT_EQ(openArgument(0, 1), 1000000);
  EXPECT_EQ(openArgument(1, 0), 4000000);
  EXPECT_EQ(openArgument(1, 1), 777);
  EXPECT_EQ(closeCalls(), 1);  // between the two opens
  EXPECT_EQ(isOpen(), 1);
  EXPECT_STREQ(info->fourcc, "DIVX");

  EXPECT_EQ(source.Close(), 1);
  EXPECT_EQ(closeCalls(), 2);
  EXPECT_EQ(isOpen(), 0);
  EXPECT_EQ(GetAviReaderCounts().videoEntries, 0);
  EXPECT_EQ(source.Close(), 1);  // nothing loaded: does nothing
  EXPECT_EQ(closeCalls(), 2);
}

TEST_F(AviOpen, NonZeroModesUseTheCacheModule) {
  UseModuleFolder("fake_input", u"InputMediaCache.dll");
  for (std::int32_t mode : {1, 2}) {
    ASSERT_NE(OpenBytes(SmallClip(), mode, 5), nullptr) << mode;
    EXPECT_EQ(openCalls(), 2);
    EXPECT_EQ(openArgument(1, 1), 5);
    source.Close();
  }
}

TEST_F(AviOpen, RefusesFilesThatAreNotRiffAvi) {
  Bytes good = SmallClip();
  Bytes notRiff = good;
  notRiff[0] = 'X';
  Bytes notAvi = good;
  notAvi[11] = 'X';
  const Bytes tooShort(good.begin(), good.begin() + 11);
  for (const Bytes* file : std::initializer_list<const Bytes*>{&notRiff, &notAvi, &tooShort}) {
    SetData(*file);
    MediaInfo* info = nullptr;
    EXPECT_EQ(source.Open(u"clip.avi", 0, 0, &info), 0);
    // The record is handed out even so, and the failed open is released by the next Close.
    EXPECT_NE(info, nullptr);
    EXPECT_EQ(isOpen(), 1);
    source.Close();
    EXPECT_EQ(isOpen(), 0);
  }
}

TEST_F(AviOpen, RefusedOpensLeaveNothingLoaded) {
  // The first open refused: the module is released at once.
  SetData(SmallClip());
  refuseOpen(1);
  MediaInfo* info = nullptr;
  EXPECT_EQ(source.Open(u"clip.avi", 0, 0, &info), 0);
  EXPECT_EQ(openCalls(), 1);
  EXPECT_EQ(source.Close(), 1);
  EXPECT_EQ(closeCalls(), 0);

  // The second open refused: Open fails and Close releases what is left.
  SetData(SmallClip());
  refuseOpen(2);
  EXPECT_EQ(source.Open(u"clip.avi", 0, 0, &info), 0);
  EXPECT_EQ(openCalls(), 2);
  source.Close();
  EXPECT_EQ(closeCalls(), 2);

  // A path longer than 199 characters is refused before any module is loaded.
  SetData(SmallClip());
  std::u16string longPath(199, u'a');
  EXPECT_NE(source.Open(longPath.c_str(), 0, 0, &info), 0);
  source.Close();
  SetData(SmallClip());
  longPath.push_back(u'a');
  EXPECT_EQ(source.Open(longPath.c_str(), 0, 0, &info), 0);
  EXPECT_EQ(openCalls(), 0);
  EXPECT_EQ(source.Open(nullptr, 0, 0, &info), 0);
}

TEST_F(AviOpen, MissingModuleOrEntryPointFailsCleanly) {
  UseModuleFolder("fake_broken");  // an InputMedia without InputMediaSeek
  SetData(SmallClip());
  MediaInfo* info = nullptr;
  EXPECT_EQ(source.Open(u"clip.avi", 0, 0, &info), 0);
  EXPECT_EQ(openCalls(), 0);
  EXPECT_EQ(source.Close(), 1);
  EXPECT_EQ(closeCalls(), 0);

  platform::SetModuleDirectory(platform::ProgramDirectory() + "/no_such_folder");
  EXPECT_EQ(source.Open(u"clip.avi", 0, 0, &info), 0);
  EXPECT_EQ(source.Close(), 1);
}

TEST_F(AviOpen, ASecondSourceKeepsNothingOfTheFirst) {
  MediaInfo* first = OpenBytes(AviBuilder()
                                   .Video("DIVX", 1, 30, 3, 640, 480)
                                   .Audio(85, 0)
                                   .Chunk("00dc", Pattern(1, 0, 4))
                                   .Chunk("01wb", Pattern(2, 0, 4000))
                                   .Build());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->audioFormatTag, 85);
  source.Close();
  // Opened again without a Close in between as well: the earlier source is released.
  OpenBytes(SmallClip());
  MediaInfo* second = OpenBytes(AviBuilder().Chunk("00dc", Pattern(1, 0, 4)).Build());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(closeCalls(), 2);  // one between the opens, one for the source left open
  EXPECT_EQ(second->width, 0);
  EXPECT_EQ(second->height, 0);
  EXPECT_EQ(second->framesPerSecond, 0.0);
  EXPECT_STREQ(second->fourcc, "");
  EXPECT_EQ(second->audioFormatTag, 0);
  EXPECT_EQ(second->audioBytes, 0);
  // No audio stream: a seek reports 1 and leaves no audio position behind.
  EXPECT_EQ(source.SeekPercent(50), 1);
  EXPECT_EQ(source.SyncAudioToVideo(), 0);
  EXPECT_TRUE(ReadAudio(100).empty());
}

TEST_F(AviOpen, LargeFrameBytesFollowsLengthDurationAndRate) {
  // 250 frames at 25 fps: D = 10 s. R = 1,000,000 bytes reported by the reopened input.
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, 250);
  for (int i = 0; i < 3; ++i) clip.Chunk("00dc", Pattern(1, i, 100));
  SetData(clip.Build());
  reportLength(1000000);
  MediaInfo* info = nullptr;
  ASSERT_NE(source.Open(u"clip.avi", 0, 0, &info), 0);
  // V = (1,000,000 - 40,000) / 10 = 96,000; 96,000 × 0.04 × 4 = 15,360.
  EXPECT_EQ(info->largeFrameBytes, 15360);
  source.Close();

  // Shorter than a second: counted as one second. 10 frames at 25 fps, R = 104,000.
  AviBuilder shortClip;
  shortClip.Video("DIVX", 1, 25, 10).Chunk("00dc", Pattern(1, 0, 100));
  SetData(shortClip.Build());
  reportLength(104000);
  ASSERT_NE(source.Open(u"clip.avi", 0, 0, &info), 0);
  EXPECT_EQ(info->largeFrameBytes, 16000);  // (104,000 - 4,000) × 0.04 × 4
  source.Close();

  // Rate 0 (scale 0 leaves it unset): every frame counts as large.
  AviBuilder noRate;
  noRate.Video("DIVX", 0, 25, 10).Chunk("00dc", Pattern(1, 0, 100));
  info = OpenBytes(noRate.Build());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->framesPerSecond, 0.0);
  EXPECT_EQ(info->largeFrameBytes, 0);
}

// A supplied input stands in for the module (here the fake module's own entry points, reached
// with no module folder to load from) until it is taken back.
TEST_F(AviOpen, ASuppliedInputReplacesTheModuleUntilReset) {
  const auto entry = [](const char16_t* name) {
    return platform::GetEntryPoint(platform::LoadModule(u"InputMedia.dll"), name);
  };
  SetAviReaderInput(reinterpret_cast<InputMediaOpenFn>(entry(u"InputMediaOpen")),
                    reinterpret_cast<InputMediaReadFn>(entry(u"InputMediaRead")),
                    reinterpret_cast<InputMediaSeekFn>(entry(u"InputMediaSeek")),
                    reinterpret_cast<InputMediaCloseFn>(entry(u"InputMediaClose")));
  platform::SetModuleDirectory("/nonexistent");
  MediaInfo* info = OpenBytes(SmallClip());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(GetAviReaderCounts().videoEntries, 2);
  EXPECT_EQ(ReadFrame(), Pattern(1, 0, 10));
  EXPECT_EQ(source.Close(), 1);
  EXPECT_EQ(isOpen(), 0);
  EXPECT_EQ(GetAviReaderCounts().videoEntries, 0);

  SetAviReaderInput(nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(OpenBytes(SmallClip()), nullptr);  // the module again, which is not there
}

}  // namespace
}  // namespace mivora::test
