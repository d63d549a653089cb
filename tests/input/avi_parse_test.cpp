// What the AVI reader takes from the header list and the index.
#include <algorithm>

#include "tests/input/fake_source.h"

namespace mivora::test {
namespace {

using AviParse = FakeSourceTest;

TEST_F(AviParse, StreamHeadersGiveTheDescription) {
  // A second video stream does not replace the first but counts in the stream numbers; the
  // audio length in the stream header is replaced by the index's total; scale 0 in the first
  // video stream would leave the rate alone, here the second one has scale 0.
  Bytes junk7 = Pattern(9, 0, 7);
  AviBuilder clip;
  clip.Video("DIVX", 1001, 30000, 7, 320, 240)
      .Video("XVID", 0, 25, 99, 64, 48)
      .Audio(85, 123456)
      .TopChunk("JUNK", junk7)  // odd size: padded to 8
      .Chunk("00dc", Pattern(1, 0, 5))
      .Chunk("02wb", Pattern(2, 0, 33))
      .Chunk("02wb", Pattern(2, 33, 40));
  MediaInfo* info = OpenBytes(clip.Build());
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->fourcc, "DIVX");
  EXPECT_EQ(info->width, 320);
  EXPECT_EQ(info->height, 240);
  EXPECT_DOUBLE_EQ(info->framesPerSecond, 30000.0 / 1001.0);
  EXPECT_EQ(info->frameCount, 1);  // the stream header claims 7, the index backs one
  EXPECT_EQ(info->audioFormatTag, 85);
  EXPECT_EQ(info->audioBytes, 73);
  EXPECT_EQ(info->currentFrame, 0);
  const AviReaderCounts counts = GetAviReaderCounts();
  EXPECT_EQ(counts.videoEntries, 1);
  EXPECT_EQ(counts.audioChunks, 2);
  EXPECT_EQ(ReadFrame(), Pattern(1, 0, 5));  // the padding did not shift the walk
  EXPECT_EQ(ReadAudio(73), Pattern(2, 0, 73));
}

TEST_F(AviParse, FormatIsTakenOnlyRightBehindItsStreamHeader) {
  // A chunk between "strh" and "strf" makes the format belong to nothing.
  Bytes strh;
  PutId(strh, "vids");
  PutId(strh, "DIVX");
  strh.insert(strh.end(), 12, 0);
  PutU32(strh, 0);  // scale 0: rate untouched
  PutU32(strh, 25);
  PutU32(strh, 0);
  PutU32(strh, 3);
  strh.insert(strh.end(), 20, 0);
  Bytes strf;
  PutU32(strf, 40);
  PutU32(strf, 999);
  PutU32(strf, 999);
  Bytes raw;
  PutChunk(raw, "strh", strh);
  PutChunk(raw, "strd", Bytes(3, 1));  // odd size inside the block as well
  PutChunk(raw, "strf", strf);
  MediaInfo* info = OpenBytes(AviBuilder().HeaderBytes(raw).Chunk("00dc", Bytes(4, 1)).Build());
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->fourcc, "DIVX");
  EXPECT_EQ(info->frameCount, 1);  // the header's 3, held to the one indexed frame
  EXPECT_EQ(info->width, 0);
  EXPECT_EQ(info->framesPerSecond, 0.0);
}

TEST_F(AviParse, IndexIdsSortEntriesIntoTheTables) {
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, 4)
      .Audio(85, 0)
      .Chunk("00dc", Pattern(1, 0, 7), 0x10)  // odd data size
      .Chunk("00db", Pattern(1, 7, 9), 0)
      .Chunk("01wb", Pattern(2, 0, 50))
      .Chunk("01pc", Bytes(4, 0))
      .Chunk("ix00", Bytes(24, 0))
      .Chunk("02dc", Pattern(1, 16, 3), 0x11)
      .Chunk("01wb", Pattern(2, 50, 0))  // empty audio chunk
      .Chunk("01wb", Pattern(2, 50, 25));
  ASSERT_NE(OpenBytes(clip.IndexTail(8).Build()), nullptr);
  const AviReaderCounts counts = GetAviReaderCounts();
  EXPECT_EQ(counts.videoEntries, 3);
  EXPECT_EQ(counts.keyFrames, 2);
  EXPECT_EQ(counts.audioChunks, 3);
  EXPECT_EQ(counts.largestFrameBytes, 9);
  EXPECT_EQ(source.IsKeyFrame(0), 1);
  EXPECT_EQ(source.IsKeyFrame(1), 0);
  EXPECT_EQ(source.IsKeyFrame(2), 1);
  EXPECT_EQ(source.IsKeyFrame(3), 0);   // past the table
  EXPECT_EQ(source.IsKeyFrame(-1), 0);  // before it
  EXPECT_EQ(ReadFrame(), Pattern(1, 0, 7));
  EXPECT_EQ(ReadFrame(), Pattern(1, 7, 9));
  EXPECT_EQ(ReadFrame(), Pattern(1, 16, 3));
  EXPECT_EQ(ReadAudio(1000), Pattern(2, 0, 75));  // the empty chunk is stepped over
}

TEST_F(AviParse, ShortIndexKeepsTheWholeBlocksBeforeIt) {
  // 2,500 video entries: two whole blocks of 1,000 and a last one cut short by the file's end.
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, 2500);
  for (int i = 0; i < 2500; ++i) clip.Chunk("00dc", Bytes(1, std::uint8_t(i)), i % 10 ? 0 : 0x10);
  Bytes file = clip.Build();
  file.resize(file.size() - 16 * 10);
  MediaInfo* info = OpenBytes(file);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(GetAviReaderCounts().videoEntries, 2000);
  EXPECT_EQ(GetAviReaderCounts().keyFrames, 200);
}

TEST_F(AviParse, EntriesOutsideTheFileAreNotTrusted) {
  AviBuilder clip;
  clip.Video("DIVX", 1, 25, 4)
      .Audio(85, 0)
      .Chunk("00dc", Pattern(1, 0, 10))
      .Chunk("01wb", Pattern(2, 0, 10))
      .Entry("00dc", 0x10, 0x7FFFFFF0u, 10)        // position past 32 bits
      .Entry("00dc", 0x10, 4, 0xFFFFFFF0u)         // absurd size: cut at the file's end
      .Entry("01wb", 0, 0x40000000u, 0x7FFFFFFFu)  // outside the file: empty
      .Entry("01wb", 0, 4, 0xFFFFFF00u);
  const Bytes file = clip.Build();
  MediaInfo* info = OpenBytes(file);
  ASSERT_NE(info, nullptr);
  const Bytes first = Pattern(1, 0, 10);
  const auto firstData = static_cast<std::size_t>(
      std::search(file.begin(), file.end(), first.begin(), first.end()) - file.begin());
  const std::int32_t tail = static_cast<std::int32_t>(file.size() - firstData);
  EXPECT_EQ(GetAviReaderCounts().largestFrameBytes, tail);
  EXPECT_EQ(info->audioBytes, 10 + tail);
  SetAviReaderFrameCapacity(tail);
  EXPECT_EQ(ReadFrame(), Pattern(1, 0, 10));
  EXPECT_TRUE(ReadFrame().empty());
  EXPECT_EQ(ReadFrame(), Bytes(file.begin() + firstData, file.end()));
  EXPECT_EQ(ReadAudio(10), Pattern(2, 0, 10));
  EXPECT_EQ(static_cast<std::int32_t>(ReadAudio(1 << 20).size()), tail);
}

TEST_F(AviParse, FileWithoutIndexOrHeadersOpensEmpty) {
  MediaInfo* info = OpenBytes(AviBuilder().Video("DIVX", 1, 25, 3).NoIndex().Build());
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->frameCount, 0);  // nothing indexed: nothing promised
  EXPECT_TRUE(ReadFrame().empty());
  EXPECT_EQ(info->currentFrame, 0);
  EXPECT_EQ(source.SeekPercent(100), 1);
  EXPECT_EQ(info->currentFrame, 0);

  // An unreadable list type fails the open.
  Bytes cut = AviBuilder().Build();
  cut.resize(12 + 8 + 2);
  EXPECT_EQ(OpenBytes(cut), nullptr);
}

}  // namespace
}  // namespace mivora::test
