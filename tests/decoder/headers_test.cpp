#include "decoder/headers.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/decoder/stream_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;
using testing::Layer;
using testing::WriteLayer;
using testing::WritePicture;

struct Parsed {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::vector<std::uint8_t> bytes;
  HeaderResult result;
};

Parsed ReadHeaders(const BitWriter& w) {
  Parsed p;
  p.bytes = w.Bytes();
  p.state->reader.Reset(p.bytes.data(), p.bytes.size());
  p.result = ReadFrameHeaders(*p.state);
  return p;
}

TEST(Headers, ReadsTheClassicLayoutToTheBit) {
  const std::uint8_t data[] = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x20, 0x00,
                               0x84, 0x40, 0x06, 0x68, 0x50, 0x20, 0xF0, 0xA3, 0x1F,
                               0x00, 0x00, 0x01, 0xB6, 0x11, 0xE1, 0x00};
  auto state = std::make_unique<DecoderState>();
  state->reader.Reset(data, sizeof data);
  ASSERT_TRUE(ParseSequenceHeader(*state));
  const SequenceFields& s = state->sequence;
  EXPECT_EQ(s.hasLayerId, 0);
  EXPECT_EQ(s.layerVersion, 1);
  EXPECT_EQ(s.shape, 0);
  EXPECT_EQ(s.timeResolution, 25);
  EXPECT_EQ(TimeIncrementBits(s.timeResolution), 5);
  EXPECT_EQ(s.width, 320);
  EXPECT_EQ(s.height, 240);
  EXPECT_EQ(s.quantPrecision, 5);
  EXPECT_EQ(s.bitsPerPixel, 8);
  EXPECT_EQ(s.scalability, 0);
  EXPECT_EQ(s.unsupported, nullptr);
  EXPECT_EQ(state->reader.BytePosition(), 17u);
  EXPECT_EQ(state->reader.BitPosition(), 2);

  ASSERT_TRUE(ParsePictureHeader(*state));
  const PictureFields& p = state->picture;
  EXPECT_EQ(p.pictureType, 0);
  EXPECT_EQ(p.timeIncrement, 3);
  EXPECT_EQ(p.pictureCoded, 1);
  EXPECT_EQ(p.roundingType, 0);
  EXPECT_EQ(p.quantiser, 8);
  EXPECT_EQ(state->reader.BytePosition(), 24u);
  EXPECT_EQ(state->reader.BitPosition(), 3);

  // The same frame through the start-code walk ends at the same place.
  auto walked = std::make_unique<DecoderState>();
  walked->reader.Reset(data, sizeof data);
  EXPECT_EQ(ReadFrameHeaders(*walked), HeaderResult::Picture);
  EXPECT_EQ(walked->reader.BitsConsumed(), 24u * 8 + 3);
  EXPECT_EQ(walked->sequence.width, 320);
}

TEST(Headers, PictureHeaderFieldsAndWidths) {
  EXPECT_EQ(TimeIncrementBits(0), 1);
  EXPECT_EQ(TimeIncrementBits(1), 1);
  EXPECT_EQ(TimeIncrementBits(16), 4);
  EXPECT_EQ(TimeIncrementBits(30), 5);
  EXPECT_EQ(TimeIncrementBits(1000), 10);
  EXPECT_EQ(TimeIncrementBits(65535), 16);

  // Frame starting with a picture start code: no sequence header, nothing consumed by it.
  BitWriter w;
  WritePicture(w, 1, 9, 3);
  auto bytes = w.Bytes();
  auto state = std::make_unique<DecoderState>();
  state->sequence.timeResolution = 25;
  state->picture.fcode = 5;
  state->reader.Reset(bytes.data(), bytes.size());
  EXPECT_FALSE(ParseSequenceHeader(*state));
  EXPECT_EQ(state->reader.BitsConsumed(), 0u);
  ASSERT_TRUE(ParsePictureHeader(*state));
  EXPECT_EQ(state->picture.pictureType, 1);
  EXPECT_EQ(state->picture.roundingType, 1);
  EXPECT_EQ(state->picture.quantiser, 9);
  EXPECT_EQ(state->picture.fcode, 3);
  EXPECT_EQ(state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count()));

  // An I picture has no rounding bit and keeps the fcode; a picture that is not coded keeps the
  // quantiser too and ends aligned.
  BitWriter i;
  WritePicture(i, 0, 4);
  bytes = i.Bytes();
  state->reader.Reset(bytes.data(), bytes.size());
  ASSERT_TRUE(ParsePictureHeader(*state));
  EXPECT_EQ(state->picture.roundingType, 0);
  EXPECT_EQ(state->picture.fcode, 3);
  BitWriter n;
  WritePicture(n, 1, 20, 2, 0);
  bytes = n.Bytes();
  state->reader.Reset(bytes.data(), bytes.size());
  ASSERT_TRUE(ParsePictureHeader(*state));
  EXPECT_EQ(state->picture.pictureCoded, 0);
  EXPECT_EQ(state->picture.quantiser, 4);
  EXPECT_EQ(state->reader.BitPosition(), 0);

  // Not a picture start code: false after 32 bits.
  const std::uint8_t other[] = {0x00, 0x00, 0x01, 0xB5, 0x00};
  state->reader.Reset(other, sizeof other);
  EXPECT_FALSE(ParsePictureHeader(*state));
  EXPECT_EQ(state->reader.BitsConsumed(), 32u);
}

TEST(Headers, WalksOverTheHeadersTodaysEncodersWrite) {
  for (int variant = 0; variant < 4; ++variant) {
    Layer l;
    l.verid = variant >= 2 ? 2 : 0;
    l.aspect = variant & 1 ? 15 : 1;
    l.control = variant != 0;
    l.vbv = variant == 3;
    l.fixedRate = variant == 1;
    l.resolution = variant == 1 ? 30 : 25;
    l.resyncDisable = 0;
    BitWriter w;
    w.StartCode(0xB0).Put(0xF5, 8);
    w.StartCode(0xB5).Put(0x09, 8).Put(0x13, 8);
    w.StartCode(0x00);
    w.StartCode(0x20);
    WriteLayer(w, l);
    w.Stuff();
    w.StartCode(0xB2).Put(0x4C617663, 32);
    w.StartCode(0xB3).Put(0x001007, 24);
    WritePicture(w, 0, 6);
    w.Put(0xFF, 8);
    Parsed p = ReadHeaders(w);
    ASSERT_EQ(p.result, HeaderResult::Picture) << variant;
    EXPECT_EQ(p.state->sequence.width, 176) << variant;
    EXPECT_EQ(p.state->sequence.height, 144) << variant;
    EXPECT_EQ(p.state->sequence.layerVersion, l.verid ? 2 : 1);
    EXPECT_EQ(p.state->sequence.resyncMarkerDisable, 0);
    EXPECT_EQ(p.state->picture.quantiser, 6) << variant;
    EXPECT_EQ(p.state->picture.timeIncrement, 3) << variant;
    EXPECT_EQ(p.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count() - 8)) << variant;
  }
}

// Interlaced layers: each picture header carries top_field_first and alternate_vertical_scan_flag
// after intra_dc_vlc_thr; other layers have neither.
TEST(Headers, InterlacedPictureFields) {
  for (int interlaced = 0; interlaced < 2; ++interlaced) {
    BitWriter w;
    Layer l;
    l.interlaced = interlaced;
    w.StartCode(0x00).StartCode(0x20);
    WriteLayer(w, l);
    w.Stuff();
    w.StartCode(0xB6).Put(1, 2).Code("0").Put(1, 1).Put(3, 5).Put(1, 1).Put(1, 1);
    w.Put(0, 1).Put(0, 3);  // rounding, intra_dc_vlc_thr
    if (interlaced) w.Put(1, 1).Put(1, 1);
    w.Put(7, 5).Put(2, 3).Put(0xA5, 8);
    Parsed p = ReadHeaders(w);
    ASSERT_EQ(p.result, HeaderResult::Picture);
    EXPECT_EQ(p.state->sequence.interlaced, interlaced);
    EXPECT_EQ(p.state->picture.topFieldFirst, interlaced);
    EXPECT_EQ(p.state->picture.alternateScan, interlaced);
    EXPECT_EQ(p.state->picture.quantiser, 7);
    EXPECT_EQ(p.state->picture.fcode, 2);
    EXPECT_EQ(p.state->reader.ShowBits(8), 0xA5u);
  }
}

// Layers with global motion compensation: the warping fields in the layer, and each S picture's
// warping points (every size of difference, both signs) between its interlaced fields and its
// quantiser.
TEST(Headers, GlobalMotionLayerAndSPictures) {
  const int values[][2] = {{0, 1}, {-1, 5}, {-37, 1000}, {16383, -16383}, {2, -8191}};
  for (int points = 0; points <= 3; ++points) {
    BitWriter w;
    Layer l;
    l.verid = 2;
    l.sprite = 2;
    l.warpingPoints = points;
    l.warpingAccuracy = 3;
    l.interlaced = points & 1;
    w.StartCode(0x00).StartCode(0x20);
    WriteLayer(w, l);
    w.Stuff();
    const int(*warping)[2] = values + (points > 1 ? 2 : 0);
    w.StartCode(0xB6).Put(3, 2).Code("0").Put(1, 1).Put(3, 5).Put(1, 1).Put(1, 1);
    w.Put(1, 1).Put(0, 3);  // rounding, intra_dc_vlc_thr
    if (l.interlaced) w.Put(1, 1).Put(0, 1);
    for (int i = 0; i < points; ++i) {
      WriteWarpingDifference(w, warping[i][0]);
      WriteWarpingDifference(w, warping[i][1]);
    }
    w.Put(9, 5).Put(3, 3).Put(0xA5, 8);
    Parsed p = ReadHeaders(w);
    ASSERT_EQ(p.result, HeaderResult::Picture) << points;
    EXPECT_EQ(p.state->sequence.warpingPoints, points);
    EXPECT_EQ(p.state->sequence.warpingAccuracy, 3);
    EXPECT_EQ(p.state->picture.pictureType, 3);
    EXPECT_EQ(p.state->picture.roundingType, 1);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(p.state->picture.warping[i][0], i < points ? warping[i][0] : 0) << points << i;
      EXPECT_EQ(p.state->picture.warping[i][1], i < points ? warping[i][1] : 0) << points << i;
    }
    EXPECT_EQ(p.state->picture.quantiser, 9);
    EXPECT_EQ(p.state->picture.fcode, 3);
    EXPECT_EQ(p.state->reader.ShowBits(8), 0xA5u) << points;
  }
  // Brightness change and more points than global motion has are refused.
  for (int k = 0; k < 2; ++k) {
    BitWriter w;
    Layer l;
    l.verid = 2;
    l.sprite = 2;
    l.warpingPoints = k ? 4 : 1;
    l.brightnessChange = k ? 0 : 1;
    w.StartCode(0x00).StartCode(0x20);
    WriteLayer(w, l);
    w.Stuff();
    WritePicture(w, 0, 5);
    Parsed p = ReadHeaders(w);
    EXPECT_EQ(p.result, HeaderResult::Unsupported);
    EXPECT_STREQ(p.state->unsupported,
                 k ? "global motion with more than 3 warping points" : "sprite brightness change");
  }
}

TEST(Headers, StuffingByteAfterAnAlignedLayerHeader) {
  // A layer header ending on a byte boundary is followed by a whole stuffing byte.
  BitWriter w;
  w.StartCode(0x00).StartCode(0x20);
  WriteLayer(w, Layer{});
  while (w.Count() % 8) w.Put(0, 1);
  w.Put(0x7F, 8);
  WritePicture(w, 0, 7);
  Parsed p = ReadHeaders(w);
  ASSERT_EQ(p.result, HeaderResult::Picture);
  EXPECT_EQ(p.state->picture.quantiser, 7);
}

TEST(Headers, RecognisesFeaturesThisDecoderDoesNotDecode) {
  struct Case {
    const char* feature;
    void (*change)(Layer&);
  };
  const Case cases[] = {
      {"non-rectangular shape", [](Layer& l) { l.shape = 1; }},
      {"sprites", [](Layer& l) { l.sprite = 1; }},
      {"not 8-bit samples", [](Layer& l) { l.not8Bit = 1; }},
      {"complexity estimation", [](Layer& l) { l.complexityDisable = 0; }},
      {"scalability", [](Layer& l) { l.scalability = 1; }},
  };
  for (const auto& c : cases) {
    Layer l;
    c.change(l);
    BitWriter w;
    w.StartCode(0x00).StartCode(0x20);
    WriteLayer(w, l);
    w.Stuff();
    WritePicture(w, 0, 5);
    Parsed p = ReadHeaders(w);
    EXPECT_EQ(p.result, HeaderResult::Unsupported) << c.feature;
    EXPECT_STREQ(p.state->unsupported, c.feature);
  }

  // Sprite pictures.
  {
    BitWriter w;
    WritePicture(w, 3, 5);
    Parsed p = ReadHeaders(w);
    EXPECT_EQ(p.result, HeaderResult::Unsupported);
    EXPECT_STREQ(p.state->unsupported, "sprites");
  }

  // Short video header.
  BitWriter s;
  s.Put(0x20, 22).Put(0, 18);
  Parsed p = ReadHeaders(s);
  EXPECT_EQ(p.result, HeaderResult::Unsupported);
  EXPECT_STREQ(p.state->unsupported, "short video header");

  // A later supported layer header lifts the refusal.
  Layer interlaced;
  interlaced.interlaced = 1;
  BitWriter a;
  a.StartCode(0x20);
  WriteLayer(a, interlaced);
  a.Stuff();
  a.StartCode(0x20);
  WriteLayer(a, Layer{});
  a.Stuff();
  WritePicture(a, 0, 5);
  EXPECT_EQ(ReadHeaders(a).result, HeaderResult::Picture);
}

TEST(Headers, FramesWithoutAPicture) {
  BitWriter w;
  w.StartCode(0xB2).Put(0x12345678, 32);  // user data only
  EXPECT_EQ(ReadHeaders(w).result, HeaderResult::NoPicture);
  EXPECT_EQ(ReadHeaders(BitWriter{}).result, HeaderResult::NoPicture);
  BitWriter junk;
  junk.Put(0xDEADBEEF, 32).Put(0x000001, 24);  // a prefix cut off before its code
  EXPECT_EQ(ReadHeaders(junk).result, HeaderResult::NoPicture);
}

}  // namespace
}  // namespace mivora::decoder
