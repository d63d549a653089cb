// B pictures: their header fields, the direct-mode vector arithmetic, and the order in which
// decoded pictures are handed out.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "decoder/b_picture.h"
#include "decoder/decoder_entry.h"
#include "decoder/display_order.h"
#include "decoder/headers.h"
#include "tests/decoder/stream_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;
using testing::Layer;

TEST(BPictures, HeaderReadsBothFcodesTheSecondsAndTheLayersDelay) {
  auto state = std::make_unique<DecoderState>();
  BitWriter w;
  Layer l;
  l.verid = 2;
  l.control = true;  // writes low_delay 1
  w.StartCode(0x00).StartCode(0x20);
  testing::WriteLayer(w, l);
  w.Stuff();
  // B picture: two whole seconds, time 7, quantiser 6, forward fcode 3, backward 2.
  w.StartCode(0xB6).Put(2, 2).Code("110").Put(1, 1).Put(7, 5).Put(1, 1).Put(1, 1);
  w.Put(0, 3).Put(6, 5).Put(3, 3).Put(2, 3).Put(0x55, 8);
  auto bytes = w.Bytes();
  state->reader.Reset(bytes.data(), bytes.size());
  ASSERT_EQ(ReadFrameHeaders(*state), HeaderResult::Picture);
  EXPECT_EQ(state->sequence.lowDelay, 1);
  EXPECT_EQ(state->picture.pictureType, 2);
  EXPECT_EQ(state->picture.moduloTimeBase, 2);
  EXPECT_EQ(state->picture.timeIncrement, 7);
  EXPECT_EQ(state->picture.roundingType, 0);
  EXPECT_EQ(state->picture.quantiser, 6);
  EXPECT_EQ(state->picture.fcode, 3);
  EXPECT_EQ(state->picture.fcodeBackward, 2);
  EXPECT_EQ(state->reader.ShowBits(8), 0x55u);

  // A layer without control parameters says nothing about B pictures.
  BitWriter plain;
  plain.StartCode(0x00).StartCode(0x20);
  testing::WriteLayer(plain, Layer{});
  plain.Stuff();
  testing::WritePicture(plain, 0, 4);
  bytes = plain.Bytes();
  state->reader.Reset(bytes.data(), bytes.size());
  ASSERT_EQ(ReadFrameHeaders(*state), HeaderResult::Picture);
  EXPECT_EQ(state->sequence.lowDelay, -1);
}

TEST(BPictures, DirectVectorsScaleTheColocatedVectorTowardZero) {
  MotionVector f, b;
  // One third of the way: 9 * 1 / 3 = 3 forward, (1 - 3) * 9 / 3 = -6 backward.
  DirectVectors({9, -9}, {0, 0}, 1, 3, f, b);
  EXPECT_EQ(3, f.x);
  EXPECT_EQ(-6, b.x);
  EXPECT_EQ(-3, f.y);
  EXPECT_EQ(6, b.y);
  // Division truncates toward zero on both signs: 5 / 2 = 2, -5 / 2 = -2.
  DirectVectors({5, -5}, {0, 0}, 1, 2, f, b);
  EXPECT_EQ(2, f.x);
  EXPECT_EQ(-2, f.y);
  EXPECT_EQ(-2, b.x);  // (1 - 2) * 5 / 2
  EXPECT_EQ(2, b.y);
  // A coded delta moves the forward vector, and the backward one follows it, per component.
  DirectVectors({5, -5}, {3, 0}, 1, 2, f, b);
  EXPECT_EQ(5, f.x);
  EXPECT_EQ(0, b.x);  // 5 - 5
  EXPECT_EQ(-2, f.y);
  EXPECT_EQ(2, b.y);
}

TEST(BPictures, MarkerLengthFollowsTheLargerFcode) {
  EXPECT_EQ(17, BResyncMarkerZeros(1, 1));
  EXPECT_EQ(17, BResyncMarkerZeros(2, 1));
  EXPECT_EQ(18, BResyncMarkerZeros(1, 3));
  EXPECT_EQ(22, BResyncMarkerZeros(7, 2));
}

// The decoder's sequence for a stream I0 P3 B1 B2 P6 B4 B5 (one chunk each, then the end): what
// goes out, in display order, and that nothing handed out is written before the next hand-out.
class OrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AllocatePictures(store, 32, 32));
    ASSERT_TRUE(BeginDelayedOrder(order, store));
  }
  void TearDown() override {
    ReleaseDisplayOrder(order);
    ReleasePictures(store);
  }
  // Marks the target picture with a value as the decoder would write it.
  void Mark(const Picture& p, int value) { p.y[0] = static_cast<std::uint8_t>(value); }
  int Reference(int value, bool handOut = true) {
    PrepareReferenceTarget(order, store);
    Mark(store.current, value);
    SwapPictures(store);
    QueueOlderReference(order, store);
    return handOut ? Out() : -1;
  }
  int B(int value, bool handOut = true) {
    const Picture target = TakeSpare(order);
    EXPECT_NE(target.y, store.current.y);
    EXPECT_NE(target.y, store.reference.y);
    Mark(target, value);
    Queue(order, target);
    return handOut ? Out() : -1;
  }
  // The value handed out (-1 for none); checks the previous planes still hold the one before.
  int Out() {
    DecodedFrame f{};
    if (!HandOut(order, store, &f)) return -1;
    if (last >= 0) {
      EXPECT_EQ(last, f.prevY[0]) << "the picture shown before was overwritten";
    }
    last = f.y[0];
    return last;
  }
  PictureStore store;
  DisplayOrder order;
  int last = -1;
};

TEST_F(OrderTest, OneChunkLateInDisplayOrder) {
  EXPECT_EQ(-1, Reference(0));
  EXPECT_EQ(0, Reference(3));
  EXPECT_EQ(1, B(1));
  EXPECT_EQ(2, B(2));
  EXPECT_EQ(3, Reference(6));
  EXPECT_EQ(4, B(4));
  EXPECT_EQ(5, B(5));
  // Reference pictures in a row: the one on show is not decoded over.
  EXPECT_EQ(6, Reference(7));
  EXPECT_EQ(7, Reference(8));
  Flush(order, store);
  EXPECT_EQ(8, Out());
  EXPECT_EQ(-1, Out());
}

TEST_F(OrderTest, PackedChunksAndTheirPlaceholders) {
  // I0 | P2 B1 | (placeholder) | P4 B3 | (placeholder)
  EXPECT_EQ(-1, Reference(0));
  Reference(2, false);
  B(1, false);
  EXPECT_EQ(0, Out());  // the chunk's one hand-out is the older reference
  EXPECT_EQ(1, Out());  // the placeholder's
  Reference(4, false);
  B(3, false);
  EXPECT_EQ(2, Out());
  EXPECT_EQ(3, Out());
  Flush(order, store);
  EXPECT_EQ(4, Out());
  EXPECT_EQ(-1, Out());
}

// Through decore_frame: a layer that announces B pictures, an I picture (held back, itself standing
// in meanwhile), a P picture with one intra macroblock, a B picture whose direct macroblock
// averages the two, then the end of the stream.
TEST(BPictures, DecodeFrameHandsOutInDisplayOrder) {
  DecoderParams params{16, 16, 0, 5, 0};
  ASSERT_EQ(0, decore(0, kDecoreInit, &params, nullptr));
  auto decode = [](const BitWriter& w, DecodedFrame* f) {
    const auto bytes = w.Bytes();
    return static_cast<DecodeStatus>(
        decore_frame(bytes.data(), static_cast<std::int32_t>(bytes.size()), f, 1, 0));
  };
  BitWriter i;
  Layer l;
  l.width = l.height = 16;
  l.control = true;
  l.lowDelay = 0;
  i.StartCode(0x00).StartCode(0x20);
  testing::WriteLayer(i, l);
  i.Stuff();
  testing::WritePicture(i, 0, 4);
  i.Code("1 0 0011").Code("011 011 011 011 11 11");  // flat intra macroblock: all 128
  i.Stuff();
  DecodedFrame fi{}, fp{}, fb{}, fe{}, none{};
  ASSERT_EQ(DecodeStatus::Delayed, decode(i, &fi));
  EXPECT_EQ(128, fi.y[0]);  // the I picture itself, not black
  EXPECT_EQ(fi.y, fi.prevY);

  BitWriter p;
  testing::WritePicture(p, 1, 4);
  // Coded, intra (MCBPC 00011), no AC prediction, no luminance pattern; the first DC higher.
  p.Code("0 00011 0 0011").Code("0011 1000 011 011 011 11 11");
  p.Stuff();
  ASSERT_EQ(DecodeStatus::Ok, decode(p, &fp));
  EXPECT_EQ(fi.y, fp.y);  // the I picture goes out now
  EXPECT_EQ(fi.y, fp.prevY);

  BitWriter b;
  testing::WritePicture(b, 2, 4);
  b.Put(1, 3);  // backward fcode
  b.Code("1");  // direct, nothing coded: co-located vectors of an intra macroblock are zero
  b.Stuff();
  ASSERT_EQ(DecodeStatus::Ok, decode(b, &fb));
  EXPECT_EQ(fp.y, fb.prevY);

  ASSERT_EQ(DecodeStatus::Ok,
            static_cast<DecodeStatus>(decore_frame(nullptr, 0, &fe, 1, 0)));  // the P picture
  EXPECT_EQ(fb.y, fe.prevY);
  EXPECT_NE(128, fe.y[0]);  // the intra macroblock changed it
  for (int r = 0; r < 16; ++r)
    for (int c = 0; c < 16; ++c)
      ASSERT_EQ((fi.y[r * fi.strideY + c] + fe.y[r * fe.strideY + c] + 1) >> 1,
                fb.y[r * fb.strideY + c])
          << r << "," << c;
  EXPECT_EQ(DecodeStatus::NoPicture,
            static_cast<DecodeStatus>(decore_frame(nullptr, 0, &none, 1, 0)));
  decore(0, kDecoreRelease, nullptr, nullptr);

  // The same layer, I and P again, then a picture not coded: it repeats the P picture (the one
  // before it in display order), and the P picture still goes out once more at the end.
  ASSERT_EQ(0, decore(0, kDecoreInit, &params, nullptr));
  DecodedFrame gi{}, gp{}, gn{}, ge{};
  ASSERT_EQ(DecodeStatus::Delayed, decode(i, &gi));
  ASSERT_EQ(DecodeStatus::Ok, decode(p, &gp));
  BitWriter n;
  testing::WritePicture(n, 1, 4, 1, 0);
  n.Stuff();
  ASSERT_EQ(DecodeStatus::NotCoded, decode(n, &gn));
  EXPECT_EQ(gp.y, gn.prevY);
  ASSERT_EQ(DecodeStatus::Ok, static_cast<DecodeStatus>(decore_frame(nullptr, 0, &ge, 1, 0)));
  EXPECT_EQ(gn.y, ge.y);
  EXPECT_EQ(gn.y, ge.prevY);
  EXPECT_NE(128, gn.y[0]);  // the P picture's changed macroblock
  decore(0, kDecoreRelease, nullptr, nullptr);

  // Later tests of this process start from a layer that says nothing about B pictures.
  BitWriter reset;
  reset.StartCode(0x00).StartCode(0x20);
  testing::WriteLayer(reset, Layer{});
  reset.Stuff();
  ASSERT_EQ(0, decore(0, kDecoreInit, &params, nullptr));
  decode(reset, &none);
  decore(0, kDecoreRelease, nullptr, nullptr);
  EXPECT_EQ(-1, State().sequence.lowDelay);
}

}  // namespace
}  // namespace mivora::decoder
