#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

constexpr int kStride = 16;

struct Out {
  std::uint8_t s[8 * kStride];
  std::uint8_t at(int r, int c) const { return s[r * kStride + c]; }
};

Out Put(std::int16_t* block, std::uint8_t fill = 77) {
  Out o;
  std::fill(o.s, o.s + sizeof o.s, fill);
  ReferenceDsp().idctPut(block, o.s, kStride);
  return o;
}

Out Add(std::int16_t* block, std::uint8_t prediction) {
  Out o;
  std::fill(o.s, o.s + sizeof o.s, prediction);
  ReferenceDsp().idctAdd(block, o.s, kStride);
  return o;
}

void ExpectAll(const Out& o, int value) {
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 8; ++c) ASSERT_EQ(value, o.at(r, c)) << r << "," << c;
}

double FloatIdct(const std::int16_t* f, int row, int col) {
  const double pi = std::acos(-1.0);
  double sum = 0;
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      const double cu = u ? 1 : std::sqrt(0.5), cv = v ? 1 : std::sqrt(0.5);
      sum += cu * cv / 4 * f[8 * v + u] * std::cos((2 * col + 1) * u * pi / 16) *
             std::cos((2 * row + 1) * v * pi / 16);
    }
  return sum;
}

TEST(Idct, DcOnlyBlocksAndClipping) {
  std::int16_t b[64] = {};
  b[0] = 1024;  // 8192 after the first pass, (8192 + 32) >> 6 = 128
  ExpectAll(Put(b), 128);
  b[0] = 2044;  // 16352 -> 256, clipped
  ExpectAll(Put(b), 255);
  b[0] = -5;  // -40 -> (-40 + 32) >> 6 = -1: shifts round towards minus infinity
  ExpectAll(Put(b), 0);
  b[0] = -5;
  ExpectAll(Add(b, 100), 99);
  b[0] = -4;  // -32 -> 0
  ExpectAll(Add(b, 100), 100);
}

TEST(Idct, ZeroBlockAndSaturatingAdd) {
  std::int16_t b[64] = {};
  ExpectAll(Add(b, 200), 200);
  ExpectAll(Put(b), 0);
  b[0] = 80;  // residual +10
  ExpectAll(Add(b, 250), 255);
  b[0] = -80;  // residual -10
  ExpectAll(Add(b, 3), 0);
  // The add variant adds the unclipped residual: 300 over prediction 0 must not wrap.
  b[0] = 2400;
  ExpectAll(Add(b, 0), 255);
}

TEST(Idct, BlockClearedWhateverItHeld) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    std::int16_t b[64];
    for (auto& c : b) c = static_cast<std::int16_t>(rng());
    if (round & 1)
      Put(b);
    else
      Add(b, static_cast<std::uint8_t>(rng()));
    for (int k = 0; k < 64; ++k) ASSERT_EQ(0, b[k]);
  }
}

// Extreme coefficients wrap in 16-bit stores of a plain implementation; ours saturate, so a huge
// positive DC stays the brightest sample instead of turning black.
TEST(Idct, ExtremeCoefficientsSaturate) {
  std::int16_t b[64] = {};
  b[0] = 32767;
  ExpectAll(Put(b), 255);
  b[0] = -32768;
  ExpectAll(Put(b), 0);
  for (auto& c : b) c = 32767;
  Put(b);  // must stay defined (runs under UBSan)
  for (auto& c : b) c = -32768;
  Put(b);
}

// The butterfly against a floating-point transform: every output within one step, which catches a
// wrong weight, a swapped output or a sign error in any path, including the full (non-shortcut) row
// and column.
TEST(Idct, CloseToExactTransform) {
  std::mt19937 rng(4);
  int worst = 0;
  for (int round = 0; round < 3000; ++round) {
    std::int16_t b[64] = {}, copy[64];
    const int count = 1 + static_cast<int>(rng() % 10);
    for (int k = 0; k < count; ++k)
      b[rng() % 64] = static_cast<std::int16_t>(static_cast<int>(rng() % 601) - 300);
    std::copy(b, b + 64, copy);
    const Out o = Add(b, 128);
    for (int r = 0; r < 8; ++r)
      for (int c = 0; c < 8; ++c) {
        const int exact =
            std::clamp(128 + static_cast<int>(std::lround(FloatIdct(copy, r, c))), 0, 255);
        worst = std::max(worst, std::abs(exact - o.at(r, c)));
      }
  }
  EXPECT_LE(worst, 1);
}

}  // namespace
}  // namespace mivora::decoder
