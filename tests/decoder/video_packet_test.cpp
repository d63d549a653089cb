#include "decoder/video_packet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "decoder/decoder_entry.h"
#include "decoder/macroblock.h"
#include "tests/decoder/stream_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;
using Bytes = std::vector<std::uint8_t>;

TEST(VideoPacket, MarkerAndMacroblockNumberLengths) {
  EXPECT_EQ(ResyncMarkerZeros(0, 5), 16);
  EXPECT_EQ(ResyncMarkerZeros(1, 1), 16);
  EXPECT_EQ(ResyncMarkerZeros(1, 3), 18);
  EXPECT_EQ(ResyncMarkerZeros(1, 7), 22);
  // Enough bits for the highest number: 60 macroblocks (160x96) take 6, 99 (176x144) 7.
  for (auto [count, bits] : {std::pair{1, 1},
                             {2, 1},
                             {3, 2},
                             {48, 6},
                             {60, 6},
                             {64, 6},
                             {65, 7},
                             {99, 7},
                             {396, 9},
                             {1200, 11},
                             {1620, 11},
                             {8160, 13}}) {
    EXPECT_EQ(MacroblockNumberBits(count), bits) << count;
  }
}

struct Reader {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  Bytes bytes;
  explicit Reader(const BitWriter& w, int width = 176, int height = 144) {
    SizeMacroblockState(*state, width, height);
    state->sequence.timeResolution = 25;
    state->picture.pictureType = 1;
    bytes = w.Bytes();
    state->reader.Reset(bytes.data(), bytes.size());
  }
};

TEST(VideoPacket, HeaderFieldsAndTheOnesThatCannotBeRight) {
  {
    // P picture, fcode 2: 17 zeros and a one; macroblock 37 (7 bits of 99), quantiser 9, header
    // extension with time base 1, time 3, type P, threshold 0, fcode 2.
    BitWriter w;
    w.Put(0, 17).Put(1, 1).Put(37, 7).Put(9, 5).Put(1, 1);
    w.Code("10").Put(1, 1).Put(3, 5).Put(1, 1).Put(1, 2).Put(0, 3).Put(2, 3);
    Reader r(w);
    EXPECT_EQ(ReadVideoPacketHeader(*r.state, 17), 37);
    EXPECT_EQ(r.state->picture.quantiser, 9);
    EXPECT_EQ(r.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count()));
  }
  {
    // The extension names an I picture inside a P picture.
    BitWriter w;
    w.Put(1, 17).Put(5, 7).Put(9, 5).Put(1, 1).Code("0").Put(1, 1).Put(3, 5).Put(1, 1).Put(0, 2);
    w.Put(0, 3);
    Reader r(w);
    EXPECT_EQ(ReadVideoPacketHeader(*r.state, 16), -1);
  }
  for (auto [number, q] : {std::pair{99, 4}, {127, 4}, {5, 0}}) {
    BitWriter w;
    w.Put(1, 17).Put(number, 7).Put(q, 5).Put(0, 1);
    Reader r(w);
    r.state->picture.quantiser = 3;
    EXPECT_EQ(ReadVideoPacketHeader(*r.state, 16), -1) << number << " " << q;
    EXPECT_EQ(r.state->picture.quantiser, 3);
  }
}

TEST(VideoPacket, FindsTheNextMarkerOrStartCodeAtAByteBoundary) {
  BitWriter w;
  // A marker that is not byte-aligned, a too short run of zeros, then the marker at byte 6.
  w.Put(0xFF, 4).Put(1, 17).Put(0xF, 3).Put(0xFF00, 16).Put(0xFF, 8).Put(1, 17).Put(0x55, 7);
  w.StartCode(0xB6);
  Reader r(w);
  BitReader& reader = r.state->reader;
  EXPECT_EQ(FindResyncPoint(reader, 0, 16), ResyncPoint::Marker);
  EXPECT_EQ(reader.BitsConsumed(), 6u * 8);
  // Twenty zeros are wanted in P pictures with fcode 5: this marker is not one, the start code is.
  EXPECT_EQ(FindResyncPoint(reader, 0, 20), ResyncPoint::StartCode);
  EXPECT_EQ(reader.BitsConsumed(), 9u * 8);
  EXPECT_EQ(FindResyncPoint(reader, 81, 16), ResyncPoint::End);
  EXPECT_EQ(reader.BitsConsumed(), 8 * r.bytes.size());
}

TEST(VideoPacket, VectorCandidatesOfAnEarlierPacketAreNotAvailable) {
  Reader r(BitWriter{}, 64, 48);  // 4 x 3 macroblocks
  DecoderState& s = *r.state;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      for (int k = 0; k < 4; ++k)
        s.Vectors(x, y)[k] = {static_cast<std::int16_t>(10 * y + x + 1),
                              static_cast<std::int16_t>(k)};
  auto at = [&](int x, int y, int index) {
    s.mbX = x;
    s.mbY = y;
    s.mbIndex = y * 4 + x;
    return PredictVector(s, index);
  };
  s.packetStart = 6;  // (2, 1)
  // The packet's first macroblock: no candidate available.
  EXPECT_EQ(at(2, 1, -1).x, 0);
  // Its second: only the left one (vector 1 of the first).
  EXPECT_EQ(at(3, 1, -1).x, 13);
  EXPECT_EQ(at(3, 1, 0).y, 1);
  // Block 1 of the first: its own block 0 alone.
  s.Vectors(2, 1)[0] = {7, 7};
  EXPECT_EQ(at(2, 1, 1).x, 7);
  // Next row, left of the packet's start: the above candidate lies in the earlier packet and counts
  // as zero; the left (21) and the above-right (block 2 of (2, 1): 13) are available.
  EXPECT_EQ(at(1, 2, -1).x, 13);
  // First column below the start row: left outside, above (0, 1) in the earlier packet, above
  // right (1, 1) too: nothing.
  EXPECT_EQ(at(0, 2, -1).x, 0);
  // Below the packet's start: left (1, 2) = 22, above (2, 1) = 7 (block 2), above right 14.
  s.Vectors(2, 1)[2] = {7, 7};
  EXPECT_EQ(at(2, 2, -1).x, 14);
  // Without packets a picture's first row still takes the left vector alone.
  s.packetStart = 0;
  EXPECT_EQ(at(2, 0, -1).x, 2);
  EXPECT_EQ(at(0, 1, -1).x, 1);  // median(0, 1, 2): the zero border stands for the left
}

// Frame helpers on the process's decoder.
void Headers(BitWriter& w, int width, int height, int type, int q, bool partitioned = false) {
  testing::Layer l;
  l.width = width;
  l.height = height;
  l.resyncDisable = false;
  l.partitioned = partitioned;
  w.StartCode(0x00).StartCode(0x20);
  WriteLayer(w, l);
  w.Stuff();
  testing::WritePicture(w, type, q);
}
// Intra macroblocks with no coefficients; luminance block 0's DC one step above its predictor.
void FlatIntra(BitWriter& w) {
  w.Code("1 0 0011").Code("011 011 011 011 11 11");
}
void BrightIntra(BitWriter& w) {
  w.Code("1 0 0011").Code("11 1 011 011 011 11 11");
}
void Marker(BitWriter& w, int number, int bits, int q = 4) {
  w.Stuff().Put(1, 17).Put(number, bits).Put(q, 5).Put(0, 1);
}

DecodeStatus Decode(const BitWriter& w, DecodedFrame* f) {
  const Bytes b = w.Bytes();
  auto copy = std::make_unique<std::uint8_t[]>(b.size());
  std::memcpy(copy.get(), b.data(), b.size());
  return static_cast<DecodeStatus>(
      decore_frame(copy.get(), static_cast<std::int32_t>(b.size()), f, 1, 0));
}

class PacketPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    DecoderParams p{48, 16, 0, 5, 0};
    ASSERT_EQ(decore(0, kDecoreInit, &p, nullptr), 0);
    SetPacketConcealment(true);
    ASSERT_NO_FATAL_FAILURE(FlatReference());
  }
  // The next picture's reference: all samples 128.
  void FlatReference() {
    BitWriter w;
    Headers(w, 48, 16, 0, 4);
    for (int i = 0; i < 3; ++i) FlatIntra(w);
    w.Stuff();
    ASSERT_EQ(Decode(w, &frame_), DecodeStatus::Ok);
  }
  void TearDown() override {
    SetPacketConcealment(true);
    decore(0, kDecoreRelease, nullptr, nullptr);
  }
  int Sample(int column) const { return frame_.y[column]; }
  DecodedFrame frame_{};
};

TEST_F(PacketPictures, IntraDcIsNotPredictedAcrossAPacketStart) {
  BitWriter joined;
  Headers(joined, 48, 16, 0, 4);
  BrightIntra(joined);
  FlatIntra(joined);
  FlatIntra(joined);
  joined.Stuff();
  ASSERT_EQ(Decode(joined, &frame_), DecodeStatus::Ok);
  EXPECT_EQ(Sample(16), 129);  // predicted from the left macroblock
  BitWriter split;
  Headers(split, 48, 16, 0, 4);
  BrightIntra(split);
  Marker(split, 1, 2);
  FlatIntra(split);
  FlatIntra(split);
  split.Stuff();
  ASSERT_EQ(Decode(split, &frame_), DecodeStatus::Ok);
  EXPECT_EQ(Sample(0), 129);
  EXPECT_EQ(Sample(16), 128);
  EXPECT_EQ(Sample(32), 128);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 0);
}

TEST_F(PacketPictures, ADamagedPacketCostsOnlyItsOwnMacroblocks) {
  BitWriter w;
  Headers(w, 48, 16, 0, 4);
  BrightIntra(w);
  Marker(w, 1, 2);
  w.Code("0000 0011 1");  // no macroblock type begins so
  Marker(w, 2, 2);
  BrightIntra(w);
  w.Stuff();
  ASSERT_EQ(Decode(w, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 1);
  EXPECT_EQ(Sample(0), 129);
  EXPECT_EQ(Sample(16), 128);  // from the reference
  EXPECT_EQ(Sample(32), 129);

  // Concealing the rest of the picture instead loses the last packet too.
  SetPacketConcealment(false);
  ASSERT_EQ(Decode(w, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 2);
  EXPECT_EQ(Sample(32), 129);  // two pictures back: the first damaged decode
}

TEST_F(PacketPictures, LostAndOverrunningPacketsAreConcealed) {
  // The packet of macroblock 1 cut out: the marker names macroblock 2.
  BitWriter lost;
  Headers(lost, 48, 16, 0, 4);
  BrightIntra(lost);
  Marker(lost, 2, 2);
  BrightIntra(lost);
  lost.Stuff();
  ASSERT_EQ(Decode(lost, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 1);
  EXPECT_EQ(Sample(16), 128);
  EXPECT_EQ(Sample(32), 129);

  // A packet that decoded two macroblocks where the next marker says it had one: all of it goes.
  ASSERT_NO_FATAL_FAILURE(FlatReference());
  BitWriter overrun;
  Headers(overrun, 48, 16, 0, 4);
  BrightIntra(overrun);
  BrightIntra(overrun);
  Marker(overrun, 1, 2);
  BrightIntra(overrun);
  BrightIntra(overrun);
  overrun.Stuff();
  ASSERT_EQ(Decode(overrun, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 1);
  EXPECT_EQ(Sample(0), 128);
  EXPECT_EQ(Sample(16), 129);
  EXPECT_EQ(Sample(32), 130);

  // A marker that names a macroblock past the picture is no packet: the rest is concealed.
  BitWriter beyond;
  Headers(beyond, 48, 16, 0, 4);
  BrightIntra(beyond);
  Marker(beyond, 3, 2);
  BrightIntra(beyond);
  beyond.Stuff();
  ASSERT_EQ(Decode(beyond, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 2);
}

// Data-partitioned I packets: the macroblock types with the DCs, the DC marker, then AC
// prediction flags with the patterns (no coefficients follow here).
void PartitionedIntraPacket(BitWriter& w, std::initializer_list<bool> bright, bool marker = true) {
  for (bool b : bright) w.Code("1").Code(b ? "11 1 011 011 011 11 11" : "011 011 011 011 11 11");
  if (marker) w.Put(0x6B001, 19);
  for (std::size_t i = 0; i < bright.size(); ++i) w.Code("0 0011");
}

TEST_F(PacketPictures, DataPartitionedPackets) {
  BitWriter w;
  Headers(w, 48, 16, 0, 4, true);
  PartitionedIntraPacket(w, {true, false});
  Marker(w, 2, 2);
  PartitionedIntraPacket(w, {false});
  w.Stuff();
  ASSERT_EQ(Decode(w, &frame_), DecodeStatus::Ok);
  EXPECT_EQ(Sample(0), 129);
  EXPECT_EQ(Sample(16), 129);  // predicted from the left in the same packet
  EXPECT_EQ(Sample(32), 128);  // not across the packet's start

  // P packets: three not-coded macroblocks and the motion marker.
  BitWriter p;
  testing::WritePicture(p, 1, 4);
  p.Code("1 1 1").Put(0x1F001, 17);
  p.Stuff();
  ASSERT_EQ(Decode(p, &frame_), DecodeStatus::Ok);
  EXPECT_EQ(Sample(0), 129);
  EXPECT_EQ(Sample(32), 128);

  // The DC marker missing from the first packet: it alone is concealed.
  ASSERT_NO_FATAL_FAILURE(FlatReference());
  BitWriter lost;
  Headers(lost, 48, 16, 0, 4, true);
  PartitionedIntraPacket(lost, {true, true}, false);
  Marker(lost, 2, 2);
  PartitionedIntraPacket(lost, {true});
  lost.Stuff();
  ASSERT_EQ(Decode(lost, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 2);
  EXPECT_EQ(Sample(0), 128);
  EXPECT_EQ(Sample(32), 129);
}

TEST_F(PacketPictures, PartitionedPacketKeepsItsMotionWhenItsPatternsFail) {
  BitWriter i;
  Headers(i, 48, 16, 0, 4, true);
  PartitionedIntraPacket(i, {true});
  Marker(i, 1, 2);
  PartitionedIntraPacket(i, {false, false});
  i.Stuff();
  ASSERT_EQ(Decode(i, &frame_), DecodeStatus::Ok);
  // Macroblock 1 moved one sample left, so its first column comes from macroblock 0; then no
  // pattern code.
  BitWriter p;
  testing::WritePicture(p, 1, 4);
  p.Code("1").Code("0 1 0011 1").Code("1").Put(0x1F001, 17).Code("000000");
  p.Stuff();
  ASSERT_EQ(Decode(p, &frame_), DecodeStatus::Damaged);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 1);
  EXPECT_EQ(Sample(16), 129);
  EXPECT_EQ(Sample(17), 128);
}

}  // namespace
}  // namespace mivora::decoder
