// The streaming AVI reader over files held in memory: what it hands out, in which order, from
// files without an index, with groups, padding, OpenDML parts, damage, and how it seeks.
#include <gtest/gtest.h>

#include "modules/ReaderCommon/memory_input.h"
#include "modules/avistream/stream_source.h"
#include "tests/readers/stream_avi_builder.h"

namespace mivora::test {
namespace {

struct Opened {
  MediaSource source;
  MediaInfo* info = nullptr;
  Bytes file;
};

// Opens file over memory (sequentialOnly: as from a server that ignores Range).
bool Open(Opened& o, Bytes file, bool sequentialOnly = false) {
  o.file = std::move(file);
  avistream::FillTable(&o.source);
  reader::SetMemoryInput(o.file.data(), o.file.size(), sequentialOnly);
  return avistream::OpenWithInput(reader::MemoryInput(), u"clip.avi", 0, &o.info) != 0;
}

Bytes ReadFrame(Opened& o) {
  Bytes frame(1 << 20);
  frame.resize(std::size_t(o.source.ReadVideoFrame(frame.data(), 0)));
  return frame;
}

Bytes ReadAllAudio(Opened& o) {
  Bytes all, piece(333);
  for (std::int32_t n; (n = o.source.ReadAudio(piece.data(), 333)) > 0;) {
    all.insert(all.end(), piece.begin(), piece.begin() + n);
  }
  return all;
}

class AviStream : public ::testing::Test {
 protected:
  void TearDown() override {
    avistream::FillTable(&o.source);
    o.source.Close();
  }
  Opened o;
};

// Frames, audio, groups, padding and chunks of no interest, in file order, from either end.
TEST_F(AviStream, DeliversBothStreamsFrontToBackWithoutAnIndex) {
  StreamAvi avi;
  avi.frames = 4;
  avi.audioBytes = 100 + 7 + 50;
  const Bytes f0 = Mpeg4Frame(true, 40, 1), f1 = Mpeg4Frame(false, 7, 2);
  const Bytes f2 = Mpeg4Frame(true, 33, 3), f3 = Mpeg4Frame(false, 12, 4);
  const Bytes a0 = Pattern(9, 0, 100), a1 = Pattern(9, 100, 7), a2 = Pattern(9, 107, 50);
  PutChunk(avi.movi, "01wb", a0);
  PutChunk(avi.movi, "00dc", f0);
  PutChunk(avi.movi, "00dc", f1);  // odd: padded
  PutChunk(avi.movi, "JUNK", Bytes(9, 0));
  PutChunk(avi.movi, "02wb", Pattern(5, 0, 21));  // a stream not chosen
  PutChunk(avi.movi, "ix00", Bytes(24, 0));
  Bytes rec;
  PutChunk(rec, "01wb", a1);
  PutChunk(rec, "00db", f2);
  PutList(avi.movi, "rec ", rec);
  PutChunk(avi.movi, "01wb", a2);
  PutChunk(avi.movi, "00dc", f3);
  ASSERT_TRUE(Open(o, avi.Build()));
  EXPECT_EQ(o.info->frameCount, 4);
  EXPECT_EQ(o.info->audioBytes, 157);
  EXPECT_EQ(o.info->audioFormatTag, 85);
  EXPECT_EQ(std::string(o.info->fourcc), "DIVX");
  EXPECT_DOUBLE_EQ(o.info->framesPerSecond, 25.0);

  EXPECT_EQ(ReadFrame(o), f0);    // the audio before it waits in its queue
  Bytes audio = ReadAllAudio(o);  // the frames behind it wait in theirs
  Bytes expected = a0;
  expected.insert(expected.end(), a1.begin(), a1.end());
  expected.insert(expected.end(), a2.begin(), a2.end());
  EXPECT_EQ(audio, expected);
  EXPECT_EQ(ReadFrame(o), f1);
  EXPECT_EQ(ReadFrame(o), f2);
  EXPECT_EQ(ReadFrame(o), f3);
  EXPECT_EQ(o.info->currentFrame, 4);
  EXPECT_EQ(o.source.IsKeyFrame(0), 1);
  EXPECT_EQ(o.source.IsKeyFrame(1), 0);
  EXPECT_EQ(o.source.IsKeyFrame(2), 1);
  EXPECT_EQ(o.source.IsKeyFrame(9), 0);  // not read: not known
  // Past the end nothing is delivered and the count stays at frameCount.
  EXPECT_TRUE(ReadFrame(o).empty());
  EXPECT_EQ(o.info->currentFrame, 4);
  EXPECT_DOUBLE_EQ(o.source.GetPositionPercent(), 100.0);
}

TEST_F(AviStream, ReadsOnThroughOpenDmlParts) {
  StreamAvi avi;
  avi.frames = 2;  // the first part only; the OpenDML header counts them all
  avi.dmlhFrames = 6;
  avi.audioBytes = 60;
  std::vector<Bytes> frames;
  for (int i = 0; i < 6; ++i) frames.push_back(Mpeg4Frame(i % 3 == 0, 20 + i, 10 + i));
  PutChunk(avi.movi, "00dc", frames[0]);
  PutChunk(avi.movi, "01wb", Pattern(3, 0, 30));
  PutChunk(avi.movi, "00dc", frames[1]);
  PutChunk(avi.movi, "idx1", Bytes(32, 0));  // an index where the first part ends
  for (int part = 0; part < 2; ++part) {
    Bytes chunks;
    PutChunk(chunks, "00dc", frames[2 + 2 * part]);
    if (part == 0) PutChunk(chunks, "01wb", Pattern(3, 30, 30));
    PutChunk(chunks, "00dc", frames[3 + 2 * part]);
    avi.moreParts.push_back(chunks);
  }
  ASSERT_TRUE(Open(o, avi.Build(), /*sequentialOnly=*/true));
  EXPECT_EQ(o.info->frameCount, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadFrame(o), frames[i]) << "frame " << i;
  EXPECT_EQ(ReadAllAudio(o), Pattern(3, 0, 60));
  EXPECT_EQ(o.source.IsKeyFrame(3), 1);
}

// 20 frames of equal size, a key frame every 5, one audio chunk after each frame.
StreamAvi EvenClip(std::size_t frameBytes = 200) {
  StreamAvi avi;
  avi.frames = 20;
  avi.audioBytes = 20 * 50;
  for (int i = 0; i < 20; ++i) {
    PutChunk(avi.movi, "00dc", Mpeg4Frame(i % 5 == 0, frameBytes, 100 + i));
    PutChunk(avi.movi, "01wb", Pattern(4, 50 * i, 50));
  }
  return avi;
}

TEST_F(AviStream, SeeksByBytesToTheNextKeyFrame) {
  ASSERT_TRUE(Open(o, EvenClip().Build()));
  // Before anything was read the frame number is estimated from the byte position.
  const std::int32_t left = o.source.SeekPercent(42);
  const std::int32_t frame = o.info->currentFrame;
  EXPECT_GE(frame, 8);
  EXPECT_LE(frame, 10);
  EXPECT_EQ(ReadFrame(o), Mpeg4Frame(true, 200, 110));  // the key frame after 42 %
  EXPECT_EQ(left, 1000 - 50 * frame);
  // The audio goes on from the chunk behind that frame.
  Bytes audio(50);
  EXPECT_EQ(o.source.ReadAudio(audio.data(), 50), 50);
  EXPECT_EQ(audio, Pattern(4, 500, 50));

  // Back to the start: frames read from there on are numbered exactly again.
  EXPECT_EQ(o.source.SeekPercent(0), 1000);
  EXPECT_EQ(o.info->currentFrame, 0);
  for (int i = 0; i < 20; ++i) ReadFrame(o);
  EXPECT_EQ(o.source.SeekPercent(50), 1000 - 50 * 10);
  EXPECT_EQ(o.info->currentFrame, 10);
  EXPECT_EQ(ReadFrame(o), Mpeg4Frame(true, 200, 110));
  EXPECT_EQ(o.info->currentFrame, 11);
}

TEST_F(AviStream, RefusesToSeekWhereTheSourceCannot) {
  // Larger than the reader's window, so the target has not been read yet.
  ASSERT_TRUE(Open(o, EvenClip(8000).Build(), /*sequentialOnly=*/true));
  EXPECT_EQ(ReadFrame(o), Mpeg4Frame(true, 8000, 100));
  Bytes audio(50);
  ASSERT_EQ(o.source.ReadAudio(audio.data(), 50), 50);
  EXPECT_EQ(o.source.SeekPercent(60), 950);  // the audio left from where it stands
  EXPECT_EQ(o.info->currentFrame, 1);
  EXPECT_EQ(ReadFrame(o), Mpeg4Frame(false, 8000, 101));
  for (int i = 2; i < 20; ++i) EXPECT_EQ(ReadFrame(o).size(), 8000u);
  EXPECT_EQ(ReadAllAudio(o).size(), 950u);
}

TEST_F(AviStream, FindsItsPlaceAgainAfterDamage) {
  StreamAvi avi;
  avi.frames = 4;
  const Bytes f0 = Mpeg4Frame(true, 30, 1), f1 = Mpeg4Frame(false, 30, 2);
  const Bytes f2 = Mpeg4Frame(true, 30, 3);
  PutChunk(avi.movi, "00dc", f0);
  avi.movi.insert(avi.movi.end(), {0x01, 0x9F, 0xFE, 0x00, 0x80, 0x13, 0x00, 0x07});  // garbage
  PutChunk(avi.movi, "00dc", f1);
  PutId(avi.movi, "JUNK");  // a size no file can hold
  PutU32(avi.movi, 0x7FFFFFF0);
  PutChunk(avi.movi, "00dc", f2);
  PutId(avi.movi, "00dc");  // the last frame, cut off by the end of the file
  PutU32(avi.movi, 1000);
  const Bytes cut = Mpeg4Frame(false, 10, 4);
  avi.movi.insert(avi.movi.end(), cut.begin(), cut.end());
  ASSERT_TRUE(Open(o, avi.Build()));
  EXPECT_EQ(ReadFrame(o), f0);
  EXPECT_EQ(ReadFrame(o), f1);
  EXPECT_EQ(ReadFrame(o), f2);
  EXPECT_EQ(ReadFrame(o), cut);
  EXPECT_TRUE(ReadFrame(o).empty());
}

TEST_F(AviStream, NeverWritesMoreThanTheFrameBuffersHold) {
  StreamAvi avi;
  avi.frames = 3;
  avi.width = avi.height = 16;  // nothing suggests a buffer above the engine's 48,000 bytes
  const Bytes small = Mpeg4Frame(true, 100, 1);
  PutChunk(avi.movi, "00dc", small);
  PutChunk(avi.movi, "00dc", Mpeg4Frame(false, 60000, 2));
  PutChunk(avi.movi, "00dc", small);
  ASSERT_TRUE(Open(o, avi.Build()));
  EXPECT_EQ(o.info->largestFrameBytes, 16 * 16 * 3 / 2);
  EXPECT_EQ(ReadFrame(o), small);
  const Bytes untouched(48000, 0xAA);
  Bytes buffer = untouched;
  EXPECT_EQ(o.source.ReadVideoFrame(buffer.data(), 0), 0);  // too large: empty, but counted
  EXPECT_EQ(buffer, untouched);
  EXPECT_EQ(o.info->currentFrame, 2);
  EXPECT_EQ(ReadFrame(o), small);

  // A writer's suggested size is asked for, so frames up to it play.
  avi.suggested = 70000;
  ASSERT_TRUE(Open(o, avi.Build()));
  EXPECT_EQ(o.info->largestFrameBytes, 70000);
  ReadFrame(o);
  EXPECT_EQ(ReadFrame(o).size(), 60000u);
}

// All frames stored before the audio: the frames wait for the picture while the audio is read,
// within bounds, and the frame count stays right when the oldest have to be forgotten.
TEST_F(AviStream, BoundsWhatWaitsForTheOtherStream) {
  StreamAvi avi;
  const int frames = 70000;
  avi.frames = frames;
  avi.audioBytes = 10;
  for (int i = 0; i < frames; ++i) PutChunk(avi.movi, "00dc", Mpeg4Frame(i == 0, 6, i));
  PutChunk(avi.movi, "01wb", Pattern(2, 0, 10));
  ASSERT_TRUE(Open(o, avi.Build()));
  EXPECT_EQ(ReadAllAudio(o), Pattern(2, 0, 10));
  int empty = 0;
  Bytes last;
  while (o.info->currentFrame < frames) {
    last = ReadFrame(o);
    empty += last.empty() ? 1 : 0;
  }
  EXPECT_EQ(empty, frames - 65536);  // forgotten, but counted
  EXPECT_EQ(last, Mpeg4Frame(false, 6, frames - 1));
}

TEST_F(AviStream, RefusesWhatIsNotAnAvi) {
  EXPECT_FALSE(Open(o, Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}));
  EXPECT_FALSE(Open(o, Bytes{}));
  StreamAvi avi;
  avi.frames = 1;
  Bytes file = avi.Build();
  file.resize(file.size() - 12);  // the movi list header is cut off
  EXPECT_FALSE(Open(o, file));
  // A header list claiming more than any real one is not allocated.
  Bytes huge;
  PutId(huge, "RIFF");
  PutU32(huge, 100);
  PutId(huge, "AVI ");
  PutId(huge, "LIST");
  PutU32(huge, 0x7FFFFFFF);
  PutId(huge, "hdrl");
  EXPECT_FALSE(Open(o, huge));
}

}  // namespace
}  // namespace mivora::test
