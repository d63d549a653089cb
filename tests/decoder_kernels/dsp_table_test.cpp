// Every entry of every table this processor can run (portable, SSE2, AVX2 ...) must match the
// portable version bit for bit, on random and extreme inputs and at any alignment, whatever the
// faster versions do internally. The table in use must be the last of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

// Coefficient blocks of the kinds that take different paths: DC only, a few low or anywhere,
// dense, the top-left 4x4, whole rows or columns, values at and beyond the 16-bit saturation of the
// first pass.
void FillBlock(std::mt19937& rng, int kind, std::int16_t b[64]) {
  std::fill(b, b + 64, 0);
  auto small = [&] { return static_cast<std::int16_t>(static_cast<int>(rng() % 4096) - 2048); };
  auto any = [&] { return static_cast<std::int16_t>(rng()); };
  auto extreme = [&] {
    static constexpr std::int16_t kValues[] = {32767, -32768, 32766, -32767, 4095, -4096, 2047};
    return kValues[rng() % 7];
  };
  switch (kind % 11) {
    case 0:  // DC only
      b[0] = rng() % 4 == 0 ? extreme() : small();
      break;
    case 1:  // one value anywhere
      b[rng() % 64] = small();
      break;
    case 2:  // a few low frequencies
      for (int k = 0; k < 4; ++k) b[8 * (rng() % 3) + rng() % 3] = small();
      break;
    case 3:  // a few anywhere
      for (int k = 0; k < 6; ++k) b[rng() % 64] = small();
      break;
    case 4:  // dense, dequantiser range
      for (int k = 0; k < 64; ++k) b[k] = small();
      break;
    case 5:  // dense, any 16-bit value
      for (int k = 0; k < 64; ++k) b[k] = any();
      break;
    case 6:  // extremes, where first-pass results saturate
      for (int k = 0; k < 64; ++k) b[k] = rng() % 3 ? extreme() : 0;
      break;
    case 7:  // one column only (rows of one value after the first pass)
      for (int r = 0; r < 8; ++r) b[8 * r + kind % 8] = small();
      break;
    case 9:  // the top-left 4x4 only, dense, with extremes
      for (int k = 0; k < 16; ++k) b[8 * (k / 4) + k % 4] = rng() % 4 ? small() : extreme();
      break;
    case 8:  // first row only
      for (int c = 0; c < 8; ++c) b[c] = rng() % 2 ? small() : extreme();
      break;
    default:  // one extreme value anywhere
      b[rng() % 64] = extreme();
      break;
  }
}

TEST(DspTable, InUseIsTheFastestVariantAndReferenceComesFirst) {
  const auto variants = AvailableDsps();
  ASSERT_GE(variants.size(), 1u);
  EXPECT_EQ(std::string("reference"), variants.front().name);
  EXPECT_EQ(ReferenceDsp().idctPut, variants.front().dsp.idctPut);
#if defined(__SSE2__)
  ASSERT_GE(variants.size(), 2u);
  EXPECT_EQ(std::string("sse2"), variants[1].name);
  EXPECT_NE(ReferenceDsp().idctPut, variants[1].dsp.idctPut);
#endif
#if defined(__aarch64__)
  ASSERT_EQ(2u, variants.size());
  EXPECT_EQ(std::string("neon"), variants[1].name);
  EXPECT_NE(ReferenceDsp().idctPut, variants[1].dsp.idctPut);
  EXPECT_NE(ReferenceDsp().predict[15], variants[1].dsp.predict[15]);
#endif
  for (const auto& v : variants) std::printf("kernel set: %s\n", v.name);
  if (std::getenv("MIVORA_KERNELS")) GTEST_SKIP() << "kernel set chosen through MIVORA_KERNELS";
  const DecoderDsp& last = variants.back().dsp;
  EXPECT_EQ(last.idctPut, Dsp().idctPut);
  EXPECT_EQ(last.idctAdd, Dsp().idctAdd);
  EXPECT_EQ(last.extendEdges, Dsp().extendEdges);
  for (int s = 0; s < 16; ++s) EXPECT_EQ(last.predict[s], Dsp().predict[s]);
}

TEST(DspTable, IdctEntriesMatchReferenceAndClearTheBlock) {
  const auto& ref = ReferenceDsp();
  // Destination offsets and strides as the decoder uses them (luminance and chrominance planes)
  // and odd ones; values around the clipping edges.
  constexpr int kStrides[] = {8, 13, 120, 248};
  for (const auto& variant : AvailableDsps()) {
    std::mt19937 rng(1);
    for (int round = 0; round < 20000; ++round) {
      std::int16_t a[64], b[64];
      FillBlock(rng, round / 2, a);
      std::copy(a, a + 64, b);
      const int stride = kStrides[rng() % 4];
      const int offset = static_cast<int>(rng() % 16);
      std::vector<std::uint8_t> d1(offset + 8 * stride), d2;
      const int fill = static_cast<int>(rng() % 3);
      for (auto& s : d1)
        s = static_cast<std::uint8_t>(fill == 0 ? rng() : fill == 1 ? rng() % 8 : 248 + rng() % 8);
      d2 = d1;
      const bool add = round & 1;
      (add ? variant.dsp.idctAdd : variant.dsp.idctPut)(a, d1.data() + offset, stride);
      (add ? ref.idctAdd : ref.idctPut)(b, d2.data() + offset, stride);
      ASSERT_EQ(d1, d2) << variant.name << (add ? " add" : " put") << ", round " << round;
      for (int k = 0; k < 64; ++k) ASSERT_EQ(0, a[k]) << variant.name << ", round " << round;
    }
  }
}

// The entries told a block's extent give what the reference gives, for blocks that keep the
// promise, with the tightest extent and with looser ones, and clear the block.
TEST(DspTable, IdctEntriesToldTheExtentMatchReference) {
  const auto& ref = ReferenceDsp();
  for (const auto& variant : AvailableDsps()) {
    std::mt19937 rng(3);
    for (int round = 0; round < 12000; ++round) {
      std::int16_t a[64], b[64];
      FillBlock(rng, round / 2, a);
      const auto told = static_cast<BlockExtent>(round % 3);
      for (int k = 0; k < 64; ++k) {
        const bool inside = told == BlockExtent::kAnywhere ||
                            (told == BlockExtent::kTopLeft4x4 && k < 32 && (k & 7) < 4) || k == 0;
        if (!inside) a[k] = 0;
      }
      std::copy(a, a + 64, b);
      std::uint8_t d1[8 * 24], d2[8 * 24];
      for (auto& s : d1) s = static_cast<std::uint8_t>(rng());
      std::copy(d1, d1 + sizeof d1, d2);
      const bool add = (round / 3) & 1;
      (add ? variant.dsp.idctAddIn : variant.dsp.idctPutIn)(a, d1, 24, told);
      (add ? ref.idctAdd : ref.idctPut)(b, d2, 24);
      ASSERT_TRUE(std::equal(d1, d1 + sizeof d1, d2))
          << variant.name << (add ? " add" : " put") << ", round " << round;
      for (int k = 0; k < 64; ++k) ASSERT_EQ(0, a[k]) << variant.name << ", round " << round;
    }
  }
}

// The 1/sqrt(2) scaling of the butterfly wraps at 32 bits for extreme coefficients, and its
// rounding term wraps with it. A version that rounds with a wider, non-wrapping shift (NEON's
// vrshr, for one) differs only where the product lands within 128 below 2^31, which random blocks
// never hit: these odd-row values (found by search) put q4 + q5 of the first pass there.
TEST(DspTable, IdctScalingWrapsWithItsRoundingTerm) {
  struct Column {
    int column, x1, x3, x5, x7;
  };
  constexpr Column kColumns[] = {{0, -32710, 0, -32768, -17181}, {5, -32756, 0, 15694, 32753}};
  const auto& ref = ReferenceDsp();
  for (const auto& variant : AvailableDsps()) {
    for (const Column& c : kColumns) {
      for (const bool add : {false, true}) {
        std::int16_t a[64] = {}, b[64];
        a[8 + c.column] = static_cast<std::int16_t>(c.x1);
        a[24 + c.column] = static_cast<std::int16_t>(c.x3);
        a[40 + c.column] = static_cast<std::int16_t>(c.x5);
        a[56 + c.column] = static_cast<std::int16_t>(c.x7);
        std::copy(a, a + 64, b);
        std::uint8_t d1[64], d2[64];
        for (int k = 0; k < 64; ++k) d1[k] = d2[k] = static_cast<std::uint8_t>(k * 4);
        (add ? variant.dsp.idctAdd : variant.dsp.idctPut)(a, d1, 8);
        (add ? ref.idctAdd : ref.idctPut)(b, d2, 8);
        for (int k = 0; k < 64; ++k)
          ASSERT_EQ(d2[k], d1[k]) << variant.name << " column " << c.column << " sample " << k;
      }
    }
  }
}

TEST(DspTable, PredictEntriesMatchReferenceAtAnyAlignment) {
  const auto& ref = ReferenceDsp();
  constexpr int kStrides[] = {17, 32, 120, 248};
  for (const auto& variant : AvailableDsps()) {
    std::mt19937 rng(2);
    for (int sel = 0; sel < 16; ++sel) {
      for (int round = 0; round < 400; ++round) {
        const int stride = kStrides[round % 4];
        const int so = static_cast<int>(rng() % 32), dof = static_cast<int>(rng() % 32);
        std::vector<std::uint8_t> src(so + 18 * stride);
        // Random samples, and runs of extremes where the rounding corrections matter most.
        const int kind = round % 3;
        for (auto& s : src)
          s = static_cast<std::uint8_t>(kind == 0   ? rng()
                                        : kind == 1 ? (rng() % 2 ? 255 - rng() % 2 : rng() % 2)
                                                    : 127 + rng() % 3);
        std::vector<std::uint8_t> d1(dof + 18 * stride), d2;
        for (auto& s : d1) s = static_cast<std::uint8_t>(rng());
        d2 = d1;
        variant.dsp.predict[sel](src.data() + so, d1.data() + dof, stride);
        ref.predict[sel](src.data() + so, d2.data() + dof, stride);
        ASSERT_EQ(d1, d2) << variant.name << ", selector " << sel << ", round " << round;
      }
    }
  }
}

// Each routine reads and writes only the samples it is defined on: source and destination are
// allocated to the exact extent (size or size + 1 rows and columns), so a wider vector access at
// the end of a row or block shows as a heap overflow in the sanitizer build.
TEST(DspTable, PredictEntriesStayInsideTheirBlock) {
  const auto& ref = ReferenceDsp();
  std::mt19937 rng(6);
  for (const auto& variant : AvailableDsps()) {
    for (int sel = 0; sel < 16; ++sel) {
      const int size = sel & 8 ? 16 : 8;
      const int rows = size + ((sel >> 1) & 1), cols = size + (sel & 1);
      for (const int stride : {size + 1, 40}) {
        std::vector<std::uint8_t> src((rows - 1) * stride + cols);
        for (auto& v : src) v = static_cast<std::uint8_t>(rng());
        std::vector<std::uint8_t> d1((size - 1) * stride + size, 0), d2 = d1;
        variant.dsp.predict[sel](src.data(), d1.data(), stride);
        ref.predict[sel](src.data(), d2.data(), stride);
        ASSERT_EQ(d1, d2) << variant.name << ", selector " << sel << ", stride " << stride;
      }
    }
  }
}

// The averaging prediction entries, half- and quarter-sample: the portable prediction averaged
// into the destination, (d + p + 1) >> 1, for every variant and selector at any alignment, on
// exact-extent buffers (the source size or size + 1 rows and columns, the destination size) for
// the sanitizers.
TEST(DspTable, PredictAverageEntriesArePredictionThenAverage) {
  const auto& ref = ReferenceDsp();
  std::mt19937 rng(12);
  for (const auto& variant : AvailableDsps()) {
    for (int sel = 0; sel < 16 + 64; ++sel) {
      const bool quarter = sel >= 16;
      const int q = sel - 16;
      const int size = quarter ? (q & 32 ? 16 : 8) : (sel & 8 ? 16 : 8);
      const int rows = quarter ? size + 1 : size + ((sel >> 1) & 1);
      const int cols = quarter ? size + 1 : size + (sel & 1);
      for (int round = 0; round < 30; ++round) {
        const int stride = size + 1 + static_cast<int>(rng() % 40);
        std::vector<std::uint8_t> src((rows - 1) * stride + cols);
        for (auto& v : src) v = static_cast<std::uint8_t>(round % 3 ? rng() : 254 + rng() % 2);
        std::vector<std::uint8_t> d((size - 1) * stride + size);
        for (auto& v : d) v = static_cast<std::uint8_t>(round % 2 ? rng() : rng() % 2);
        std::vector<std::uint8_t> p(d.size()), want = d;
        (quarter ? ref.qpel[q] : ref.predict[sel])(src.data(), p.data(), stride);
        for (std::size_t i = 0; i < d.size(); ++i)
          if (static_cast<int>(i % stride) < size) want[i] = (d[i] + p[i] + 1) >> 1;
        (quarter ? variant.dsp.qpelAverage[q] : variant.dsp.predictAverage[sel])(src.data(),
                                                                                 d.data(), stride);
        ASSERT_EQ(want, d) << variant.name << ", selector " << sel << ", round " << round;
      }
    }
  }
}

// Every quarter-sample entry against the portable one at any alignment, on exact-extent buffers
// (size + 1 rows and columns read, size written).
TEST(DspTable, QpelEntriesMatchReference) {
  const auto& ref = ReferenceDsp();
  std::mt19937 rng(11);
  for (const auto& variant : AvailableDsps()) {
    for (int sel = 0; sel < 64; ++sel) {
      const int size = sel & 32 ? 16 : 8;
      for (int round = 0; round < 40; ++round) {
        const int stride = size + 1 + static_cast<int>(rng() % 40);
        const int so = static_cast<int>(rng() % 16);
        std::vector<std::uint8_t> src(so + static_cast<std::size_t>(size * stride + size + 1));
        for (auto& s : src)
          s = static_cast<std::uint8_t>(round % 3 == 0   ? rng()
                                        : round % 3 == 1 ? 255 * (rng() % 2)
                                                         : 120 + rng() % 16);
        std::vector<std::uint8_t> d1(static_cast<std::size_t>((size - 1) * stride + size)), d2 = d1;
        variant.dsp.qpel[sel](src.data() + so, d1.data(), stride);
        ref.qpel[sel](src.data() + so, d2.data(), stride);
        ASSERT_EQ(d1, d2) << variant.name << ", selector " << sel << ", round " << round;
      }
    }
  }
}

// The MPEG method's inverse quantisation: every variant against the portable one on levels of
// every size (zeros, small, escapes up to the 12-bit limit, both signs), weights and quantisers.
TEST(DspTable, DequantEntriesMatchReference) {
  const auto& ref = ReferenceDsp();
  std::mt19937 rng(13);
  for (const auto& variant : AvailableDsps()) {
    for (int round = 0; round < 3000; ++round) {
      std::int16_t levels[64];
      std::uint8_t weights[64];
      for (int i = 0; i < 64; ++i) {
        static constexpr int kFar[] = {-32768, 32767, -16385, 16384, -16383, 20000};
        const int kind = static_cast<int>(rng() % 5);
        levels[i] = static_cast<std::int16_t>(kind == 0   ? 0
                                              : kind == 1 ? static_cast<int>(rng() % 7) - 3
                                              : kind == 4 && round % 3 == 0
                                                  ? kFar[rng() % 6]  // only damage makes these
                                                  : static_cast<int>(rng() % 4095) - 2047);
        weights[i] = static_cast<std::uint8_t>(round % 5 == 0 ? 255 : 1 + rng() % 255);
      }
      if (round % 7 == 0)
        levels[0] = static_cast<std::int16_t>(static_cast<int>(rng() % 8000) - 4000);
      const int q = 1 + static_cast<int>(rng() % 31);
      for (int intra = 0; intra < 2; ++intra) {
        std::int16_t a[64], b[64];
        std::copy(levels, levels + 64, a);
        std::copy(levels, levels + 64, b);
        (intra ? variant.dsp.dequantIntra : variant.dsp.dequantInter)(a, weights, q);
        (intra ? ref.dequantIntra : ref.dequantInter)(b, weights, q);
        ASSERT_TRUE(std::equal(a, a + 64, b))
            << variant.name << " intra " << intra << " round " << round;
      }
    }
  }
}

// The bilinear warp of global motion: the formula on the reference at every weighting, each
// variant against it at any alignment and fraction, on exact-extent buffers (size + 1 rows and
// columns read, size written).
TEST(DspTable, WarpEntriesMatchFormulaAndReference) {
  const auto& ref = ReferenceDsp();
  std::mt19937 rng(17);
  for (int big = 0; big < 2; ++big) {
    const int size = big ? 16 : 8;
    for (int round = 0; round < 200; ++round) {
      const int stride = size + 1 + static_cast<int>(rng() % 24);
      const int so = static_cast<int>(rng() % 16);
      std::vector<std::uint8_t> src(so + static_cast<std::size_t>(size * stride + size + 1));
      for (auto& s : src) s = static_cast<std::uint8_t>(round % 2 ? rng() : 255 * (rng() % 2));
      const int fx = static_cast<int>(rng() % 16), fy = static_cast<int>(rng() % 16);
      const int rounding = round & 1;
      std::vector<std::uint8_t> want(static_cast<std::size_t>((size - 1) * stride + size));
      ref.warp[big](src.data() + so, want.data(), stride, fx, fy, rounding);
      const std::uint8_t* p = src.data() + so;
      for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) {
          const int i = r * stride + c;
          const int v =
              ((16 - fx) * (16 - fy) * p[i] + fx * (16 - fy) * p[i + 1] +
               (16 - fx) * fy * p[i + stride] + fx * fy * p[i + stride + 1] + 128 - rounding) >>
              8;
          ASSERT_EQ(v, want[i]) << size << " at " << r << "," << c;
        }
      for (const auto& variant : AvailableDsps()) {
        std::vector<std::uint8_t> got(want.size());
        variant.dsp.warp[big](src.data() + so, got.data(), stride, fx, fy, rounding);
        ASSERT_EQ(want, got) << variant.name << " size " << size << " round " << round;
      }
    }
  }
}

// The averaging of two predictions: the formula on the reference, each variant against it at any
// alignment, and no sample written outside the block (exact-extent buffers for the sanitizers).
TEST(DspTable, AverageEntriesMatchFormulaAndReference) {
  std::mt19937 rng(9);
  for (const auto& variant : AvailableDsps()) {
    for (int big = 0; big < 2; ++big) {
      const int size = big ? 16 : 8;
      for (int round = 0; round < 300; ++round) {
        const int stride = size + static_cast<int>(rng() % 40);
        const int so = static_cast<int>(rng() % 16), dof = static_cast<int>(rng() % 16);
        const std::size_t extent = static_cast<std::size_t>((size - 1) * stride + size);
        std::vector<std::uint8_t> src(so + extent), d1(dof + extent);
        for (auto& s : src) s = static_cast<std::uint8_t>(round % 2 ? rng() : 254 + rng() % 2);
        for (auto& s : d1) s = static_cast<std::uint8_t>(round % 3 ? rng() : rng() % 2);
        const std::vector<std::uint8_t> before = d1;
        variant.dsp.average[big](src.data() + so, d1.data() + dof, stride);
        for (std::size_t i = 0; i < extent; ++i) {
          const bool inside = static_cast<int>(i % stride) < size;
          const int want = inside ? (before[dof + i] + src[so + i] + 1) >> 1 : before[dof + i];
          ASSERT_EQ(want, d1[dof + i]) << variant.name << " size " << size << " at " << i;
        }
      }
    }
  }
}

// The corrected averages against the formulas for every combination of one 2x2 neighbourhood's
// low bits and extremes, which random data may miss.
TEST(DspTable, PredictRoundingExhaustiveOnSmallValues) {
  const auto& ref = ReferenceDsp();
  constexpr int kValues[] = {0, 1, 2, 3, 126, 127, 128, 129, 252, 253, 254, 255};
  constexpr int kStride = 32;
  for (const auto& variant : AvailableDsps()) {
    for (int sel = 0; sel < 16; ++sel) {
      std::vector<std::uint8_t> src(18 * kStride);
      std::mt19937 rng(7);
      // Fill each row with a sequence that walks the value list so neighbours cover all pairs.
      for (int round = 0; round < 144; ++round) {
        for (int i = 0; i < static_cast<int>(src.size()); ++i)
          src[i] = static_cast<std::uint8_t>(
              kValues[(i * (round + 1) + round / 12 + i / kStride * 5) % 12]);
        std::vector<std::uint8_t> d1(18 * kStride, 0), d2(18 * kStride, 0);
        variant.dsp.predict[sel](src.data(), d1.data(), kStride);
        ref.predict[sel](src.data(), d2.data(), kStride);
        ASSERT_EQ(d1, d2) << variant.name << ", selector " << sel;
      }
    }
  }
}

TEST(DspTable, EdgeExtensionMatchesReference) {
  const auto& ref = ReferenceDsp();
  struct Plane {
    int stride, height, border;
  };
  // Luminance and chrominance planes of small, odd-width and larger pictures; a border that is
  // not a multiple of 16; a plane with no picture area.
  constexpr Plane kPlanes[] = {{240, 208, 32}, {120, 104, 16}, {248, 208, 32}, {124, 104, 16},
                               {784, 640, 32}, {40, 30, 5},    {64, 64, 32}};
  for (const auto& variant : AvailableDsps()) {
    std::mt19937 rng(3);
    for (const Plane& p : kPlanes) {
      std::vector<std::uint8_t> p1(static_cast<std::size_t>(p.stride) * p.height), p2;
      for (auto& s : p1) s = static_cast<std::uint8_t>(rng());
      p2 = p1;
      variant.dsp.extendEdges(p1.data(), p.stride, p.height, p.border);
      ref.extendEdges(p2.data(), p.stride, p.height, p.border);
      EXPECT_EQ(p1, p2) << variant.name << ", stride " << p.stride;
    }
  }
}

}  // namespace
}  // namespace mivora::decoder
