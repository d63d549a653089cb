// Reading frames and audio through the index tables, and seeking by percentage.
#include "tests/input/fake_source.h"

namespace mivora::test {
namespace {

using AviRead = FakeSourceTest;
using AviSeek = FakeSourceTest;

// frames video frames (key frames where keyEvery divides the index) and audio chunks of the
// given sizes, interleaved in the file.
Bytes Clip(std::int32_t frameCount, std::int32_t frames, std::int32_t keyEvery,
           const std::vector<std::uint32_t>& audioChunks) {
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, static_cast<std::uint32_t>(frameCount)).Audio(85, 0);
  std::uint64_t audioAt = 0;
  for (std::int32_t i = 0; i < frames || std::size_t(i) < audioChunks.size(); ++i) {
    if (i < frames) {
      const bool key = keyEvery > 0 && i % keyEvery == 0;
      clip.Chunk("00dc", Pattern(1, 1000 * i, 20 + i), key ? 0x10 : 0);
    }
    if (std::size_t(i) < audioChunks.size()) {
      clip.Chunk("01wb", Pattern(2, audioAt, audioChunks[i]));
      audioAt += audioChunks[i];
    }
  }
  return clip.Build();
}

TEST_F(AviRead, FramesComeInIndexOrderAndStopAtTheTable) {
  // Stream headers that promise more frames than the index holds, up to the largest count: only
  // the indexed frames are promised, so every reader counting to frameCount ends with the table.
  for (const std::int32_t claimed : {5, 2147483647}) {
    MediaInfo* info = OpenBytes(Clip(claimed, 3, 1, {}));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->frameCount, 3);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ReadFrame(), Pattern(1, 1000 * i, 20 + i));
      EXPECT_EQ(info->currentFrame, i + 1);
    }
    EXPECT_TRUE(ReadFrame().empty());
    EXPECT_EQ(info->currentFrame, 3);
    EXPECT_DOUBLE_EQ(source.GetPositionPercent(), 100.0);
  }
}

TEST_F(AviRead, FrameLargerThanTheCapacityIsNotWritten) {
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, 3)
      .Chunk("00dc", Pattern(1, 0, 100))
      .Chunk("00dc", Pattern(1, 1, 48001))
      .Chunk("00dc", Pattern(1, 2, 48000));
  MediaInfo* info = OpenBytes(clip.Build());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->largestFrameBytes, 48001);
  EXPECT_EQ(ReadFrame().size(), 100u);
  Bytes buffer(48001 + 64, 0xEE);
  EXPECT_EQ(source.ReadVideoFrame(buffer.data(), 0), 0);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(info->currentFrame, 2);  // skipped, not stuck
  EXPECT_EQ(source.ReadVideoFrame(buffer.data(), 0), 48000);
  EXPECT_EQ(buffer[48000], 0xEE);

  // Told a larger buffer, the reader delivers the frame.
  SetAviReaderFrameCapacity(info->largestFrameBytes);
  source.SeekPercent(0);
  source.ReadVideoFrame(buffer.data(), 0);
  EXPECT_EQ(source.ReadVideoFrame(buffer.data(), 1), 48001);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 48001), Pattern(1, 1, 48001));
  EXPECT_EQ(buffer[48001], 0xEE);
}

TEST_F(AviRead, ShortDeliveryIsReportedAsItIs) {
  const Bytes file = Clip(2, 2, 1, {300, 300});
  // Cut the input inside the second frame: it is reported with the bytes that really came.
  std::size_t cut = 0;
  for (std::size_t i = 0; i + 21 <= file.size(); ++i) {
    if (std::equal(file.begin() + i, file.begin() + i + 21, Pattern(1, 1000, 21).begin())) cut = i;
  }
  ASSERT_GT(cut, 0u);
  SetData(file);
  MediaInfo* info = nullptr;
  ASSERT_NE(source.Open(u"clip.avi", 0, 0, &info), 0);
  limitReadable(static_cast<std::int32_t>(cut + 5));  // e.g. a connection that dropped
  EXPECT_EQ(ReadFrame().size(), 20u);
  EXPECT_EQ(ReadFrame(), Pattern(1, 1000, 5));
  // Audio: the first chunk lies before the cut, the second after it.
  EXPECT_EQ(ReadAudio(500), Pattern(2, 0, 300));
  EXPECT_TRUE(ReadAudio(500).empty());
}

TEST_F(AviRead, AudioRunsAcrossChunks) {
  MediaInfo* info = OpenBytes(Clip(0, 0, 0, {100, 100, 100}));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->audioBytes, 300);
  EXPECT_EQ(ReadAudio(0).size(), 0u);
  EXPECT_EQ(ReadAudio(-5).size(), 0u);
  EXPECT_EQ(ReadAudio(250), Pattern(2, 0, 250));
  EXPECT_DOUBLE_EQ(source.GetPositionPercent(), 250 * 100.0 / 300);  // audio-only position
  EXPECT_EQ(ReadAudio(80), Pattern(2, 250, 50));                     // fewer than asked at the end
  EXPECT_TRUE(ReadAudio(80).empty());
  EXPECT_TRUE(ReadAudio(80).empty());
}

TEST_F(AviSeek, LandsOnKeyFramesAndMovesTheAudioWithTheVideo) {
  // 10 frames, key frames at 0 and 6; 20 audio chunks of 1,001 bytes.
  MediaInfo* info = OpenBytes(Clip(10, 10, 6, std::vector<std::uint32_t>(20, 1001)));
  ASSERT_NE(info, nullptr);
  const std::int32_t total = 20 * 1001;
  ASSERT_EQ(info->audioBytes, total);

  EXPECT_EQ(source.SeekPercent(0), total);
  EXPECT_EQ(info->currentFrame, 0);
  EXPECT_EQ(ReadAudio(10), Pattern(2, 0, 10));

  // f = 2 lies in a stretch without key frames: the next key frame, 6, is taken.
  // h = 6/10 × 20,020 = 12,012; a = 12,012 + 0.
  EXPECT_EQ(source.SeekPercent(25), total - 12012);
  EXPECT_EQ(info->currentFrame, 6);
  EXPECT_EQ(ReadFrame(), Pattern(1, 6000, 26));
  EXPECT_EQ(ReadAudio(10), Pattern(2, 12012, 10));  // chunk over 1,000 bytes: exact byte

  // No key frame after f = 9: the last one before it.
  EXPECT_EQ(source.SeekPercent(95), total - 12012);
  EXPECT_EQ(info->currentFrame, 6);
  // Out-of-range percentages are held to 0..100.
  source.SeekPercent(-20);
  EXPECT_EQ(info->currentFrame, 0);
  source.SeekPercent(400);
  EXPECT_EQ(info->currentFrame, 6);

  // Fast forward ends: the audio follows the frame reached.
  source.SeekPercent(0);
  for (int i = 0; i < 7; ++i) ReadFrame();
  // h = 7/10 × 20,020 = 14,014; 14,014 mod 4 = 2, added: 14,016.
  EXPECT_EQ(source.SyncAudioToVideo(), total - 14016);
  EXPECT_EQ(ReadAudio(5), Pattern(2, 14016, 5));
}

TEST_F(AviSeek, SmallChunksRestartAtTheirFirstByte) {
  // 10 frames, all key frames. Two chunks of exactly 1,000 bytes: seeking to frame 3 gives
  // h = 600, inside chunk 0, which is re-read from its start.
  ASSERT_NE(OpenBytes(Clip(10, 10, 1, {1000, 1000})), nullptr);
  EXPECT_EQ(source.SeekPercent(30), 2000 - 600);
  EXPECT_EQ(ReadAudio(10), Pattern(2, 0, 10));
  EXPECT_EQ(source.SeekPercent(70), 2000 - 1400);
  EXPECT_EQ(ReadAudio(10), Pattern(2, 1000, 10));
  source.Close();

  // 1,001 bytes: h = 3/10 × 2,002 = 600 and reading resumes there.
  ASSERT_NE(OpenBytes(Clip(10, 10, 1, {1001, 1001})), nullptr);
  EXPECT_EQ(source.SeekPercent(30), 2002 - 600);
  EXPECT_EQ(ReadAudio(10), Pattern(2, 600, 10));
}

TEST_F(AviSeek, AudioBytePositionAddsTheRemainder) {
  // 4 frames; frame 1 gives h = audioBytes / 4.
  ASSERT_NE(OpenBytes(Clip(4, 4, 1, {20})), nullptr);
  EXPECT_EQ(source.SeekPercent(25), 20 - 6);  // h = 5: 5 + 1
  source.Close();
  ASSERT_NE(OpenBytes(Clip(4, 4, 1, {32})), nullptr);
  EXPECT_EQ(source.SeekPercent(25), 32 - 8);  // h = 8: stays
  source.Close();
  ASSERT_NE(OpenBytes(Clip(4, 4, 1, {28})), nullptr);
  EXPECT_EQ(source.SeekPercent(25), 28 - 10);  // h = 7: 7 + 3
  source.Close();

  // The index holds more frames than the stream header: past frameCount the position is held
  // at the end of the audio, and the remainder added there never reaches past the last chunk.
  ASSERT_NE(OpenBytes(Clip(2, 4, 1, {1001})), nullptr);
  for (int i = 0; i < 3; ++i) ReadFrame();
  EXPECT_EQ(source.SyncAudioToVideo(), 0);
  EXPECT_TRUE(ReadAudio(10).empty());
}

TEST_F(AviSeek, AudioWithoutIndexEntriesOrVideo) {
  // An audio stream header without audio index entries: nothing to position in or read.
  MediaInfo* info = OpenBytes(Clip(4, 4, 1, {}));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->audioBytes, 0);
  EXPECT_EQ(source.SeekPercent(50), 0);
  EXPECT_TRUE(ReadAudio(10).empty());
  source.Close();

  // Audio only (the audio is stream 0 here): the percentage places the audio.
  AviBuilder clip;
  clip.Audio(85, 0).Chunk("00wb", Pattern(2, 0, 2000)).Chunk("00wb", Pattern(2, 2000, 2000));
  info = OpenBytes(clip.Build());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->frameCount, 0);
  EXPECT_DOUBLE_EQ(source.GetPositionPercent(), 0.0);
  EXPECT_EQ(source.SeekPercent(50), 2000);
  EXPECT_EQ(ReadAudio(4), Pattern(2, 2000, 4));
  EXPECT_DOUBLE_EQ(source.GetPositionPercent(), 2004 * 100.0 / 4000);
  EXPECT_EQ(source.SyncAudioToVideo(), 4000 - 2004);  // no video to follow: stays
  EXPECT_EQ(ReadAudio(4), Pattern(2, 2004, 4));
}

}  // namespace
}  // namespace mivora::test
