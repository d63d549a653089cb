// The MP3 reader over files held in memory: where the audio begins and ends among tags and
// junk, the durations its headers give, and seeking through a Xing table.
#include <gtest/gtest.h>

#include <cstring>

#include "modules/ReaderCommon/memory_input.h"
#include "modules/mp3reader/mp3_source.h"
#include "tests/input/avi_builder.h"

namespace mivora::test {
namespace {

// An MPEG-1 layer III frame at 44.1 kHz: 144 × bit rate ÷ 44,100 bytes, contents from seed.
// kbps must be one of the table's (64: 208 bytes, 128: 417, 192: 626).
Bytes Mp3Frame(int kbps, std::uint32_t seed, bool mono = false) {
  const int index = kbps == 64 ? 5 : kbps == 128 ? 9 : 11;
  Bytes f = Pattern(seed, 0, std::size_t(144 * kbps * 1000 / 44100));
  for (auto& b : f) b &= 0x7F;  // no stray sync patterns inside
  f[0] = 0xFF;
  f[1] = 0xFB;
  f[2] = std::uint8_t(index << 4);
  f[3] = mono ? 0xC0 : 0x00;
  return f;
}

// The Xing frame: 128 kbps, frames, bytes and a table of contents.
Bytes XingFrame(std::uint32_t frames, std::uint32_t bytes, const std::uint8_t (&toc)[100]) {
  Bytes f = Mp3Frame(128, 0);
  std::fill(f.begin() + 4, f.end(), 0);
  std::size_t at = 4 + 32;
  std::memcpy(&f[at], "Xing", 4);
  const std::uint32_t fields[3] = {7, frames, bytes};
  for (std::uint32_t v : fields) {
    for (int i = 3; i >= 0; --i) f[at + 4 + std::size_t(3 - i)] = std::uint8_t(v >> (8 * i));
    at += 4;
  }
  std::memcpy(&f[at + 4], toc, 100);
  return f;
}

void Append(Bytes& to, const Bytes& more) {
  to.insert(to.end(), more.begin(), more.end());
}

struct Opened {
  MediaSource source;
  MediaInfo* info = nullptr;
  Bytes file;
};

bool Open(Opened& o, Bytes file, bool sequentialOnly = false) {
  o.file = std::move(file);
  mp3::FillTable(&o.source);
  reader::SetMemoryInput(o.file.data(), o.file.size(), sequentialOnly);
  return mp3::OpenWithInput(reader::MemoryInput(), u"song.mp3", 0, &o.info) != 0;
}

Bytes ReadAll(Opened& o) {
  Bytes all, piece(8191);
  for (std::int32_t n; (n = o.source.ReadAudio(piece.data(), 8191)) > 0;) {
    all.insert(all.end(), piece.begin(), piece.begin() + n);
  }
  return all;
}

class Mp3Reader : public ::testing::Test {
 protected:
  void TearDown() override {
    mp3::FillTable(&o.source);
    o.source.Close();
  }
  Opened o;
};

TEST_F(Mp3Reader, DeliversTheFramesBetweenTagsAndJunk) {
  Bytes file;
  // ID3v2.4 with an extended header (counted in its size) and a footer (not counted).
  Bytes id3 = {'I', 'D', '3', 4, 0, 0x50, 0, 0, 0x01, 0x00};  // 128 bytes of body
  id3.insert(id3.end(), 128, 0x11);
  Append(id3, Bytes{'3', 'D', 'I', 4, 0, 0x50, 0, 0, 0x01, 0x00});
  Append(file, id3);
  // Junk holding a header that no second header follows.
  Append(file, Bytes{0x00, 0x12, 0xFF, 0xFB, 0x90, 0x00, 0x33, 0x44, 0x55});
  Bytes audio;
  for (int i = 0; i < 10; ++i) Append(audio, Mp3Frame(128, std::uint32_t(i)));
  Append(file, audio);
  // An APE tag with its header, then ID3v1.
  Bytes ape(32 + 20 + 32, 0);
  std::memcpy(ape.data(), "APETAGEX", 8);
  std::memcpy(ape.data() + 52, "APETAGEX", 8);
  ape[52 + 12] = 20 + 32;  // items and footer
  ape[52 + 23] = 0x80;     // a header is present
  Append(file, ape);
  Bytes id3v1(128, 0x20);
  std::memcpy(id3v1.data(), "TAG", 3);
  Append(file, id3v1);

  ASSERT_TRUE(Open(o, file));
  EXPECT_EQ(std::string(o.info->fourcc), "divx");
  EXPECT_EQ(o.info->audioFormatTag, 85);
  EXPECT_EQ(o.info->frameCount, 0);
  EXPECT_EQ(o.info->audioBytes, std::int32_t(audio.size()));
  EXPECT_EQ(ReadAll(o), audio);
  const mp3::Mp3Layout layout = mp3::GetLayout();
  EXPECT_NEAR(layout.durationSeconds, 10 * 417 * 8 / 128000.0, 1e-9);  // from the bit rate
  EXPECT_FALSE(layout.vbrHeader);
  Bytes frame(100, 0xAA);
  EXPECT_EQ(o.source.ReadVideoFrame(frame.data(), 0), 0);
  EXPECT_EQ(frame, Bytes(100, 0xAA));
}

TEST_F(Mp3Reader, TakesTheDurationAndSeekPointsFromTheXingHeader) {
  // 40 frames: the first half at 64 kbps, the second at 192, so half the time is a quarter of
  // the bytes.
  Bytes audio;
  std::vector<std::int64_t> starts;
  for (int i = 0; i < 40; ++i) {
    starts.push_back(std::int64_t(audio.size()));
    Append(audio, Mp3Frame(i < 20 ? 64 : 192, std::uint32_t(i)));
  }
  std::uint8_t toc[100];
  for (int p = 0; p < 100; ++p) {
    const int frame = p * 40 / 100;
    toc[p] = std::uint8_t(starts[std::size_t(frame)] * 256 / std::int64_t(audio.size()));
  }
  Bytes xing = XingFrame(40, std::uint32_t(audio.size()), toc);
  Bytes file = xing;
  Append(file, audio);
  ASSERT_TRUE(Open(o, file));
  const mp3::Mp3Layout layout = mp3::GetLayout();
  EXPECT_TRUE(layout.seekTable);
  EXPECT_NEAR(layout.durationSeconds, 40 * 1152 / 44100.0, 1e-9);
  EXPECT_EQ(o.info->audioBytes, std::int32_t(file.size()));

  const std::int32_t left = o.source.SeekPercent(50);
  // The table points into the frames (it counts from the Xing frame); the reader lands on the
  // first whole frame from there, never inside one.
  const std::int64_t landed = std::int64_t(file.size()) - left;
  const std::int64_t target = std::int64_t(toc[50]) * std::int64_t(audio.size()) / 256;
  bool boundary = landed == 0;
  for (std::int64_t s : starts) boundary = boundary || landed == s + std::int64_t(xing.size());
  EXPECT_TRUE(boundary) << landed;
  EXPECT_GE(landed, target);
  EXPECT_LT(landed, target + 626);
  Bytes head(4);
  ASSERT_EQ(o.source.ReadAudio(head.data(), 4), 4);
  EXPECT_EQ(head[0], 0xFF);
  EXPECT_NEAR(o.source.GetPositionPercent(), 50.0, 3.0);
}

TEST_F(Mp3Reader, TakesTheDurationFromAVbriHeader) {
  Bytes file = Mp3Frame(128, 0);
  std::fill(file.begin() + 4, file.end(), 0);
  std::memcpy(&file[36], "VBRI", 4);
  file[36 + 17] = 200;  // frames (big-endian, last byte)
  for (int i = 0; i < 5; ++i) Append(file, Mp3Frame(64, std::uint32_t(i)));
  ASSERT_TRUE(Open(o, file));
  EXPECT_NEAR(mp3::GetLayout().durationSeconds, 200 * 1152 / 44100.0, 1e-9);
}

TEST_F(Mp3Reader, ReadsOnAndRefusesToSeekWhereTheSourceCannot) {
  Bytes file;
  for (int i = 0; i < 400; ++i) Append(file, Mp3Frame(128, std::uint32_t(i)));  // 166,800 bytes
  Bytes id3v1(128, 0);
  std::memcpy(id3v1.data(), "TAG", 3);
  Append(file, id3v1);
  ASSERT_TRUE(Open(o, file, /*sequentialOnly=*/true));
  // The end cannot be read ahead of time: the tag counts as audio (the decoder steps over it).
  EXPECT_EQ(o.info->audioBytes, std::int32_t(file.size()));
  Bytes first(1000);
  ASSERT_EQ(o.source.ReadAudio(first.data(), 1000), 1000);
  EXPECT_EQ(o.source.SeekPercent(70), std::int32_t(file.size()) - 1000);
  Bytes rest = ReadAll(o);
  EXPECT_EQ(rest.size(), file.size() - 1000);
  EXPECT_TRUE(std::equal(rest.begin(), rest.end(), file.begin() + 1000));
}

TEST_F(Mp3Reader, RefusesWhatHoldsNoFrames) {
  EXPECT_FALSE(Open(o, Bytes{}));
  EXPECT_FALSE(Open(o, Pattern(1, 0, 5000)));
  // A tag claiming more than the file holds, and nothing after it.
  EXPECT_FALSE(Open(o, Bytes{'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}));
  // One frame, and the file ends with it: that is a file.
  EXPECT_TRUE(Open(o, Mp3Frame(128, 1, /*mono=*/true)));
  EXPECT_EQ(o.info->audioBytes, 417);
}

}  // namespace
}  // namespace mivora::test
