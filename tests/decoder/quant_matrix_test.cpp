// The MPEG method of inverse quantisation: the matrices a layer downloads, the weighing of each
// coefficient, saturation and mismatch control.
#include <gtest/gtest.h>

#include <vector>

#include "decoder/quant_matrix.h"
#include "decoder/scan_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

TEST(QuantMatrix, DownloadedMatricesInZigzagOrderWithAnEarlyEnd) {
  BitWriter w;
  // Intra: 1, 2, 3 then an end: the rest repeat 3. Non-intra: not loaded.
  w.Put(1, 1).Put(1, 8).Put(2, 8).Put(3, 8).Put(0, 8).Put(0, 1).Put(0xA5, 8);
  const auto bytes = w.Bytes();
  BitReader r;
  r.Reset(bytes.data(), bytes.size());
  QuantMatrices m{};
  ReadQuantMatrices(r, m);
  EXPECT_EQ(1, m.intra[kZigzagScan[0]]);
  EXPECT_EQ(2, m.intra[kZigzagScan[1]]);  // raster 1
  EXPECT_EQ(3, m.intra[kZigzagScan[2]]);  // raster 8
  EXPECT_EQ(3, m.intra[63]);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(DefaultQuantMatrices().inter[i], m.inter[i]);
  EXPECT_EQ(0xA5u, r.ShowBits(8));

  // A whole list of 64, one a zero weight (read as 1).
  BitWriter full;
  full.Put(0, 1).Put(1, 1);
  for (int k = 0; k < 64; ++k) full.Put(k == 63 ? 0 : 100 + k, 8);
  const auto fullBytes = full.Bytes();
  r.Reset(fullBytes.data(), fullBytes.size());
  ReadQuantMatrices(r, m);
  EXPECT_EQ(8, m.intra[0]);  // the default
  EXPECT_EQ(100, m.inter[0]);
  EXPECT_EQ(162, m.inter[kZigzagScan[62]]);
  EXPECT_EQ(162, m.inter[63]);  // the zero ended the list: the last weight repeats
}

TEST(QuantMatrix, WeighingSaturationAndMismatchControl) {
  std::vector<std::uint8_t> weights(64, 16);
  weights[1] = 17;
  // Non-intra: (2 * level + sign) * weight * q / 16, truncated toward zero.
  std::int16_t block[64] = {};
  block[0] = 1;
  block[1] = -1;
  DequantiseInterMpeg(block, weights.data(), 3);
  EXPECT_EQ(9, block[0]);   // 3 * 16 * 3 / 16
  EXPECT_EQ(-9, block[1]);  // -3 * 17 * 3 / 16 = -9.56
  EXPECT_EQ(1, block[63]);  // the sum 0 is even: coefficient 63 made odd
  // Intra: 2 * level * weight * q / 16; the DC stays and counts in the sum.
  std::int16_t intra[64] = {};
  intra[0] = 64;
  intra[1] = 3;
  intra[63] = 2;
  DequantiseIntraMpeg(intra, weights.data(), 5);
  EXPECT_EQ(64, intra[0]);
  EXPECT_EQ(31, intra[1]);   // 2 * 3 * 17 * 5 / 16 = 31.9
  EXPECT_EQ(20, intra[63]);  // 64 + 31 + 20 = 115, odd: left alone
  // Saturation to -2048..2047 before the parity.
  std::int16_t big[64] = {};
  big[5] = 2000;
  big[6] = -2000;
  DequantiseInterMpeg(big, weights.data(), 31);
  EXPECT_EQ(2047, big[5]);
  EXPECT_EQ(-2048, big[6]);
  EXPECT_EQ(0, big[63]);  // the sum -1 is odd
}

}  // namespace
}  // namespace mivora::decoder
