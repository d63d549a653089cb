#include "decoder/decoder_entry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "decoder/decoder_state.h"
#include "output/converter_select.h"
#include "tests/decoder/stream_writer.h"

namespace mivora {
namespace {

using decoder::testing::BitWriter;
using decoder::testing::Layer;
using decoder::testing::WriteLayer;
using decoder::testing::WritePicture;
using Bytes = std::vector<std::uint8_t>;

std::int32_t Open(int width, int height, int outputType = 5) {
  DecoderParams p{width, height, 0, outputType, 0};
  return decore(0, kDecoreInit, &p, nullptr);
}

DecodeStatus Decode(const Bytes& frame, DecodedFrame* out) {
  // Each frame in its own exact-size allocation, so any read past its end is caught.
  auto copy = std::make_unique<std::uint8_t[]>(frame.size());
  if (!frame.empty()) std::memcpy(copy.get(), frame.data(), frame.size());
  return static_cast<DecodeStatus>(
      decore_frame(copy.get(), static_cast<std::int32_t>(frame.size()), out, 1, 0));
}

// Layer header for width x height, then the picture header.
void Headers(BitWriter& w, int width, int height, int type, int q, bool resyncDisable = true) {
  Layer l;
  l.width = width;
  l.height = height;
  l.resyncDisable = resyncDisable;
  w.StartCode(0x00).StartCode(0x20);
  WriteLayer(w, l);
  w.Stuff();
  WritePicture(w, type, q);
}

// One intra macroblock, nothing coded but DCs that keep the 1024 prediction: all samples 128.
void FlatIntraMacroblock(BitWriter& w) {
  w.Code("1 0 0011").Code("011 011 011 011 11 11");
}

Bytes FlatIntraPicture(int width, int height) {
  BitWriter w;
  Headers(w, width, height, 0, 4);
  for (int i = 0; i < ((width + 15) / 16) * ((height + 15) / 16); ++i) FlatIntraMacroblock(w);
  w.Stuff();
  return w.Bytes();
}

Bytes SkippedPicture(int macroblocks) {
  BitWriter w;
  WritePicture(w, 1, 4);
  for (int i = 0; i < macroblocks; ++i) w.Code("1");
  w.Stuff();
  return w.Bytes();
}

TEST(DecoderEntry, OpensAnyPictureSizeAndRefusesWhatItCannotHold) {
  const auto& state = decoder::State();
  struct Size {
    int w, h, stride, padded, mbCount;
    std::size_t bytes;
  };
  for (const Size& s : {Size{176, 144, 240, 208, 99, 149760}, Size{180, 144, 248, 208, 108, 0},
                        Size{320, 240, 384, 304, 300, 350208}, Size{720, 576, 784, 640, 1620, 0},
                        Size{1920, 1088, 1984, 1152, 8160, 0}, Size{16, 16, 80, 80, 1, 0}}) {
    ASSERT_EQ(Open(s.w, s.h), 0) << s.w;
    EXPECT_EQ(state.pictures.stride, s.stride) << s.w;
    EXPECT_EQ(state.pictures.paddedHeight, s.padded) << s.w;
    EXPECT_EQ(state.mbCount, s.mbCount) << s.w;
    if (s.bytes) {
      EXPECT_EQ(state.pictures.bytes, s.bytes) << s.w;
    }
    // A second opening without a release must not leak (the leak checker watches this).
  }
  const auto hook = ConverterHook;
  ASSERT_EQ(Open(64, 48, 6), 0);  // output type 6: the converter stays as it was
  EXPECT_EQ(ConverterHook, hook);
  EXPECT_EQ(decore(0, 0x4000, nullptr, nullptr), 0);

  DecodedFrame frame{};
  for (auto [w, h] : {std::pair{15, 16}, {16, 0}, {-16, 16}, {5000, 64}, {64, 100000}}) {
    EXPECT_EQ(Open(w, h), -1) << w << "x" << h;
    EXPECT_EQ(Decode(FlatIntraPicture(16, 16), &frame), DecodeStatus::NotInitialised);
    EXPECT_EQ(frame.y, nullptr);
  }
  EXPECT_EQ(decore(0, kDecoreInit, nullptr, nullptr), -1);
  ASSERT_EQ(Open(16, 16), 0);
  EXPECT_EQ(decore(0, kDecoreRelease, nullptr, nullptr), 0);
  EXPECT_EQ(Decode(FlatIntraPicture(16, 16), &frame), DecodeStatus::NotInitialised);
  EXPECT_EQ(LastFrameReport().status, DecodeStatus::NotInitialised);
  EXPECT_STREQ(DescribeStatus(DecodeStatus::NotInitialised), "decoder not initialised");
}

TEST(DecoderEntry, PassThroughCopiesTheWholeRecord) {
  DecodedFrame source{};
  std::uint8_t planes[3];
  source.y = &planes[0];
  source.u = &planes[1];
  source.v = &planes[2];
  source.strideY = 640;
  source.strideU = source.strideV = 320;
  source.reserved6 = 6;
  source.prevY = &planes[2];
  source.reserved10 = 10;
  DecodedFrame target{};
  EXPECT_EQ(PassThroughDecoreFrame(reinterpret_cast<const std::uint8_t*>(&source), sizeof source,
                                   &target, 1, 0),
            0);
  EXPECT_EQ(std::memcmp(&source, &target, sizeof source), 0);
  EXPECT_EQ(PassThroughDecore(0, kDecoreInit, nullptr, nullptr), 0);
  EXPECT_EQ(PassThroughDecore(0, kDecoreRelease, nullptr, nullptr), 0);
}

TEST(DecoderEntry, SkippedMacroblocksOverTwoPictures) {
  ASSERT_EQ(Open(32, 16), 0);
  DecodedFrame i{}, p1{}, p2{};
  Bytes intra = FlatIntraPicture(32, 16);
  intra.insert(intra.end(), {0, 0, 1, 0xB2, 'x'});  // trailing data is not part of the picture
  ASSERT_EQ(Decode(intra, &i), DecodeStatus::Ok);
  EXPECT_EQ(LastFrameReport().bytes, static_cast<int>(intra.size()) - 5);
  EXPECT_EQ(LastFrameReport().pictureType, 0);
  EXPECT_EQ(LastFrameReport().quantiser, 4);
  EXPECT_EQ(i.y[0], 128);
  EXPECT_EQ(i.u[7 * i.strideU + 15], 128);
  EXPECT_EQ(i.strideY, decoder::State().pictures.stride);
  EXPECT_EQ(i.strideU, i.strideY / 2);

  // First P picture: both macroblocks skipped, copied from the I picture.
  ASSERT_EQ(Decode(SkippedPicture(2), &p1), DecodeStatus::Ok);
  EXPECT_EQ(p1.prevY, i.y);
  EXPECT_EQ(p1.y, i.prevY);
  for (int row = 0; row < 16; ++row) {
    EXPECT_EQ(std::memcmp(p1.y + row * p1.strideY, i.y + row * i.strideY, 32), 0);
  }
  // Second P picture skips them again: they are not touched, because the buffer it decodes into
  // already holds those samples. A mark left there proves nothing was written.
  p1.prevY[5 * p1.strideY + 20] = 7;
  ASSERT_EQ(Decode(SkippedPicture(2), &p2), DecodeStatus::Ok);
  EXPECT_EQ(p2.y, i.y);
  EXPECT_EQ(p2.y[5 * p2.strideY + 20], 7);
  EXPECT_EQ(p2.y[5 * p2.strideY + 19], 128);
  decore(0, kDecoreRelease, nullptr, nullptr);
}

TEST(DecoderEntry, PicturesNotCodedOrMissingRepeatThePrevious) {
  ASSERT_EQ(Open(16, 16), 0);
  DecodedFrame i{}, n{}, p{};
  ASSERT_EQ(Decode(FlatIntraPicture(16, 16), &i), DecodeStatus::Ok);
  BitWriter notCoded;
  WritePicture(notCoded, 1, 9, 1, 0);
  notCoded.Stuff();
  ASSERT_EQ(Decode(notCoded.Bytes(), &n), DecodeStatus::NotCoded);
  EXPECT_EQ(n.y, i.y);
  EXPECT_EQ(n.prevY, i.prevY);
  // The next picture decodes into the other buffer and predicts from the repeated one.
  ASSERT_EQ(Decode(SkippedPicture(1), &p), DecodeStatus::Ok);
  EXPECT_EQ(p.prevY, i.y);
  EXPECT_EQ(p.y[0], 128);

  DecodedFrame none{};
  EXPECT_EQ(Decode({}, &none), DecodeStatus::NoPicture);
  EXPECT_EQ(none.y, p.y);
  EXPECT_EQ(LastFrameReport().pictureType, -1);
  BitWriter userData;
  userData.StartCode(0xB2).Put(0x41424344, 32);
  EXPECT_EQ(Decode(userData.Bytes(), &none), DecodeStatus::NoPicture);
  decore(0, kDecoreRelease, nullptr, nullptr);
}

TEST(DecoderEntry, UnsupportedFeaturesShowThePreviousPicture) {
  ASSERT_EQ(Open(32, 16), 0);
  DecodedFrame i{}, f{};
  ASSERT_EQ(Decode(FlatIntraPicture(32, 16), &i), DecodeStatus::Ok);

  BitWriter b;
  WritePicture(b, 3, 5);
  b.Put(0xFFFF, 16);
  EXPECT_EQ(Decode(b.Bytes(), &f), DecodeStatus::Unsupported);
  EXPECT_STREQ(LastFrameReport().feature, "sprites");
  EXPECT_EQ(LastFrameReport().pictureType, 3);
  EXPECT_EQ(f.y, i.y);

  // Resynchronisation markers allowed by the layer but not written: decoded.
  BitWriter allowed;
  Headers(allowed, 32, 16, 0, 4, false);
  FlatIntraMacroblock(allowed);
  FlatIntraMacroblock(allowed);
  allowed.Stuff();
  EXPECT_EQ(Decode(allowed.Bytes(), &f), DecodeStatus::Ok);
  EXPECT_STREQ(LastFrameReport().feature, "");
  // A marker that does stand in the picture starts a video packet.
  BitWriter marker;
  Headers(marker, 32, 16, 0, 4, false);
  FlatIntraMacroblock(marker);
  marker.Stuff().Put(1, 17).Put(1, 1).Put(4, 5).Put(0, 1);  // marker, macroblock 1, quantiser
  FlatIntraMacroblock(marker);
  marker.Stuff();
  EXPECT_EQ(Decode(marker.Bytes(), &f), DecodeStatus::Ok);
  EXPECT_EQ(LastFrameReport().concealedMacroblocks, 0);

  // Layers of samples other than 8 bits are refused until a supported layer header arrives.
  Layer interlaced;
  interlaced.not8Bit = 1;
  interlaced.width = 32;
  interlaced.height = 16;
  BitWriter il;
  il.StartCode(0x20);
  WriteLayer(il, interlaced);
  il.Stuff();
  WritePicture(il, 0, 4);
  FlatIntraMacroblock(il);
  EXPECT_EQ(Decode(il.Bytes(), &f), DecodeStatus::Unsupported);
  EXPECT_STREQ(LastFrameReport().feature, "not 8-bit samples");
  EXPECT_EQ(Decode(SkippedPicture(2), &f), DecodeStatus::Unsupported);
  EXPECT_EQ(Decode(FlatIntraPicture(32, 16), &f), DecodeStatus::Ok);

  // A layer of another size than the decoder was opened with would land in the wrong grid.
  EXPECT_EQ(Decode(FlatIntraPicture(48, 16), &f), DecodeStatus::Unsupported);
  EXPECT_STREQ(LastFrameReport().feature, "picture size other than the opened one");
  decore(0, kDecoreRelease, nullptr, nullptr);
}

TEST(DecoderEntry, PictureCutShortIsConcealedFromTheReference) {
  ASSERT_EQ(Open(32, 16), 0);
  DecodedFrame i{}, cut{};
  ASSERT_EQ(Decode(FlatIntraPicture(32, 16), &i), DecodeStatus::Ok);
  // An I picture whose first macroblock is darker (DC differential -96 in block 0, the others
  // predicted from it) and whose data then ends at the next start code.
  BitWriter v;
  WritePicture(v, 0, 4);
  v.Code("1 0 0011");
  v.Code("000001").Put(0x1F, 7);  // luminance size 7, -96
  v.Code("011 011 011");
  for (int b = 0; b < 2; ++b) v.Code("0000001").Put(0x1F, 7);  // chrominance size 7, -96
  v.Stuff();
  v.StartCode(0xB6);
  EXPECT_EQ(Decode(v.Bytes(), &cut), DecodeStatus::Damaged);
  EXPECT_EQ(cut.y[0], 128 - 96);
  EXPECT_EQ(cut.y[15 * cut.strideY + 15], 128 - 96);
  EXPECT_EQ(cut.y[16], 128);  // the second macroblock comes from the reference
  EXPECT_EQ(cut.u[4], 128 - 96);
  decore(0, kDecoreRelease, nullptr, nullptr);
}

Bytes ReadFile(const char* name) {
  std::ifstream in(std::string(MIVORA_DECODER_TEST_DATA) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Frames split at picture start codes; the headers stay with the first picture.
std::vector<Bytes> SplitFrames(const Bytes& stream) {
  std::vector<std::size_t> starts;
  for (std::size_t k = 0; k + 3 < stream.size(); ++k) {
    if (stream[k] == 0 && stream[k + 1] == 0 && stream[k + 2] == 1 && stream[k + 3] == 0xB6) {
      starts.push_back(starts.empty() ? 0 : k);
    }
  }
  std::vector<Bytes> frames;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
    frames.emplace_back(stream.begin() + starts[k], stream.begin() + end);
  }
  return frames;
}

double Psnr(const std::uint8_t* plane, std::intptr_t stride, const std::uint8_t* reference,
            int width, int height) {
  double sum = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double d = plane[y * stride + x] - reference[y * width + x];
      sum += d * d;
    }
  }
  return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * width * height / sum);
}

// A clip from a current encoder (visual object sequence, visual object, user data and group
// headers; four-vector macroblocks; intra macroblocks in P pictures; a second I picture) against
// the encoder project's own decoding of it.
TEST(DecoderEntry, RealEncoderStreamMatchesTheReferenceDecoding) {
  const Bytes stream = ReadFile("pan_64x48.m4v");
  const Bytes reference = ReadFile("pan_64x48.yuv");
  ASSERT_FALSE(stream.empty());
  const int w = 64, h = 48, frameBytes = w * h * 3 / 2;
  const auto frames = SplitFrames(stream);
  ASSERT_EQ(frames.size() * frameBytes, reference.size());
  ASSERT_EQ(Open(w, h), 0);
  for (std::size_t k = 0; k < frames.size(); ++k) {
    DecodedFrame f{};
    ASSERT_EQ(Decode(frames[k], &f), DecodeStatus::Ok) << k;
    const std::uint8_t* ref = reference.data() + k * frameBytes;
    EXPECT_GE(Psnr(f.y, f.strideY, ref, w, h), 50) << k;
    EXPECT_GE(Psnr(f.u, f.strideU, ref + w * h, w / 2, h / 2), 50) << k;
    EXPECT_GE(Psnr(f.v, f.strideV, ref + w * h * 5 / 4, w / 2, h / 2), 50) << k;
  }
  decore(0, kDecoreRelease, nullptr, nullptr);
}

// Truncated, bit-flipped and random frames: the decoder must stay inside every buffer (the
// sanitiser build checks this), end, and report a defined status.
TEST(DecoderEntry, DamagedInputStaysInsideItsBuffers) {
  const auto frames = SplitFrames(ReadFile("pan_64x48.m4v"));
  ASSERT_FALSE(frames.empty());
  std::mt19937 random(1234);
  for (int size : {64, 50}) {
    ASSERT_EQ(Open(size, 48), 0);
    for (int round = 0; round < 200; ++round) {
      for (const Bytes& original : frames) {
        Bytes frame = original;
        switch (round % 4) {
          case 0:
            frame.resize(random() % (frame.size() + 1));
            break;
          case 1:
            for (int k = 0; k < 1 + round % 7; ++k) {
              frame[random() % frame.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            }
            break;
          case 2:
            for (std::size_t k = 4 + random() % 8; k < frame.size(); ++k) {
              frame[k] = static_cast<std::uint8_t>(random());
            }
            break;
          default:
            frame.assign(random() % 64, 0);
            for (auto& b : frame) b = static_cast<std::uint8_t>(random() % 3);
            break;
        }
        DecodedFrame f{};
        const auto status = static_cast<int>(Decode(frame, &f));
        ASSERT_GE(status, 0);
        ASSERT_LE(status, 4);
        if (f.y) {
          volatile std::uint8_t touch = f.y[47 * f.strideY + size - 1];
          (void)touch;
        }
      }
    }
  }
  decore(0, kDecoreRelease, nullptr, nullptr);
}

}  // namespace
}  // namespace mivora
