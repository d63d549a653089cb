// Every entry of the table in use must match the portable version bit for bit, whatever the
// processor-specific versions do internally.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

constexpr int kStride = 64;

TEST(DspTable, IdctEntriesMatchReference) {
  std::mt19937 rng(1);
  const auto& dsp = Dsp();
  const auto& ref = ReferenceDsp();
  for (int round = 0; round < 4000; ++round) {
    std::int16_t a[64] = {}, b[64];
    // Mostly sparse blocks in the dequantiser's range, some dense, some extreme.
    const int kind = round % 4;
    const int count = kind == 0 ? 1 : kind == 1 ? 4 : 64;
    for (int k = 0; k < count; ++k) {
      const int pos = count == 64 ? k : static_cast<int>(rng() % 64);
      a[pos] = kind == 3 ? static_cast<std::int16_t>(rng())
                         : static_cast<std::int16_t>(static_cast<int>(rng() % 4096) - 2048);
    }
    std::copy(a, a + 64, b);
    std::uint8_t d1[8 * kStride], d2[8 * kStride];
    for (auto& s : d1) s = static_cast<std::uint8_t>(rng());
    std::copy(d1, d1 + sizeof d1, d2);
    const bool add = round & 1;
    (add ? dsp.idctAdd : dsp.idctPut)(a, d1, kStride);
    (add ? ref.idctAdd : ref.idctPut)(b, d2, kStride);
    ASSERT_EQ(0, std::memcmp(d1, d2, sizeof d1)) << "round " << round;
    for (int k = 0; k < 64; ++k) ASSERT_EQ(0, a[k]);
  }
}

TEST(DspTable, PredictAndEdgeEntriesMatchReference) {
  std::mt19937 rng(2);
  const auto& dsp = Dsp();
  const auto& ref = ReferenceDsp();
  std::vector<std::uint8_t> src(20 * kStride);
  for (int sel = 0; sel < 16; ++sel) {
    for (int round = 0; round < 50; ++round) {
      for (auto& s : src) s = static_cast<std::uint8_t>(rng());
      // Misaligned offsets exercise the alignment-dependent copy paths.
      const int so = static_cast<int>(rng() % 8), dof = static_cast<int>(rng() % 8);
      std::vector<std::uint8_t> d1(20 * kStride), d2(20 * kStride);
      dsp.predict[sel](src.data() + so, d1.data() + dof, kStride);
      ref.predict[sel](src.data() + so, d2.data() + dof, kStride);
      ASSERT_EQ(d1, d2) << "selector " << sel;
    }
  }
  std::vector<std::uint8_t> p1(96 * 80), p2;
  for (auto& s : p1) s = static_cast<std::uint8_t>(rng());
  p2 = p1;
  dsp.extendEdges(p1.data(), 96, 80, 16);
  ref.extendEdges(p2.data(), 96, 80, 16);
  EXPECT_EQ(p1, p2);
}

}  // namespace
}  // namespace mivora::decoder
