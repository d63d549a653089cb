#include "decoder/bit_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace mivora::decoder {
namespace {

TEST(BitReader, PeeksSkipsAndReadsAtAnyAlignment) {
  const std::uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  BitReader r(data, sizeof data);
  r.SkipBits(4);
  EXPECT_EQ(r.ShowBits(8), 0x23u);
  EXPECT_EQ(r.ShowBits(12), 0x234u);
  EXPECT_EQ(r.BitPosition(), 4);
  EXPECT_EQ(r.BytePosition(), 0u);

  r.Reset(data, sizeof data);
  r.SkipBits(6);
  r.SkipBits(13);
  EXPECT_EQ(r.BytePosition(), 2u);
  EXPECT_EQ(r.BitPosition(), 3);

  r.Reset(data, sizeof data);
  r.SkipBits(7);
  EXPECT_EQ(r.GetBit(), 0);  // lowest bit of 0x12
  EXPECT_EQ(r.BytePosition(), 1u);
  EXPECT_EQ(r.BitPosition(), 0);

  r.Reset(data, sizeof data);
  EXPECT_EQ(r.GetBits(32), 0x12345678u);
  EXPECT_EQ(r.BytePosition(), 4u);
  r.SkipBits(3);
  EXPECT_EQ(r.GetBits(5), 0x1Au);
}

TEST(BitReader, AlignsToByte) {
  const std::uint8_t data[] = {0xFF, 0x00, 0xFF};
  BitReader r(data, sizeof data);
  r.AlignToByte();
  EXPECT_EQ(r.BitsConsumed(), 0u);
  r.SkipBits(3);
  r.AlignToByte();
  EXPECT_EQ(r.BytePosition(), 1u);
  EXPECT_EQ(r.BitPosition(), 0);
}

TEST(BitReader, FindsStartCodesAfterStuffing) {
  {
    const std::uint8_t data[] = {0x00, 0x00, 0x01, 0xB6};
    EXPECT_TRUE(BitReader(data, sizeof data).StartCodeAhead());
  }
  {
    const std::uint8_t data[] = {0x7F, 0x00, 0x00, 0x01};
    EXPECT_TRUE(BitReader(data, sizeof data).StartCodeAhead());
    EXPECT_TRUE(BitReader(data, sizeof data).StuffedStartCodeAhead());
  }
  {
    const std::uint8_t data[] = {0x7F, 0x7F, 0x00, 0x00, 0x01};
    EXPECT_FALSE(BitReader(data, sizeof data).StartCodeAhead());
  }
  {
    // Three bits 011 left in the byte, then a start code.
    const std::uint8_t data[] = {0xA3, 0x00, 0x00, 0x01};
    BitReader r(data, sizeof data);
    r.SkipBits(5);
    EXPECT_TRUE(r.StartCodeAhead());
    EXPECT_TRUE(r.StuffedStartCodeAhead());
    EXPECT_EQ(r.BitPosition(), 5);
  }
  {
    // Skip bits of the last macroblocks (ones) and stuffing 01, then the next frame: the rest of
    // the byte is not valid stuffing, so the picture is not over.
    const std::uint8_t data[] = {0xFD, 0x00, 0x00, 0x01};
    BitReader r(data, sizeof data);
    r.SkipBits(1);
    EXPECT_TRUE(r.StartCodeAhead());
    EXPECT_FALSE(r.StuffedStartCodeAhead());
  }
}

TEST(BitReader, FindsResynchronisationMarkers) {
  // Stuffing 01, then sixteen zeros and a one.
  const std::uint8_t marker[] = {0x01, 0x00, 0x00, 0x80};
  BitReader r(marker, sizeof marker);
  r.SkipBits(6);
  EXPECT_TRUE(r.ResyncMarkerAhead(16));
  EXPECT_FALSE(r.ResyncMarkerAhead(17));
  // On a byte boundary the marker needs the whole stuffing byte in front.
  const std::uint8_t aligned[] = {0x7F, 0x00, 0x00, 0x80};
  EXPECT_TRUE(BitReader(aligned, sizeof aligned).ResyncMarkerAhead(16));
  const std::uint8_t bare[] = {0x00, 0x00, 0x80, 0x00};
  EXPECT_FALSE(BitReader(bare, sizeof bare).ResyncMarkerAhead(16));
}

// The picture loop looks for markers only where ZerosAfterStuffing says one may stand, so it must
// hold wherever one does: markers after one to eight stuffing bits at every bit position.
TEST(BitReader, ZerosAfterStuffingHoldsWhereverAMarkerStands) {
  for (int stuffing = 1; stuffing <= 8; ++stuffing) {
    for (int lead = 0; lead < 16; ++lead) {
      // lead bits of ones, stuffing 0 1..1, then a start code or a resynchronisation marker.
      for (const int zeros : {16, 17, 23}) {
        std::vector<std::uint8_t> data(12, 0);
        int bit = 0;
        const auto put = [&](int v) {
          if (v) data[bit >> 3] |= static_cast<std::uint8_t>(0x80 >> (bit & 7));
          ++bit;
        };
        const int start = ((lead + stuffing + 7) / 8) * 8 - stuffing;  // stuffing ends aligned
        for (int i = 0; i < start; ++i) put(1);
        put(0);
        for (int i = 1; i < stuffing; ++i) put(1);
        for (int i = 0; i < zeros; ++i) put(0);
        put(1);
        BitReader r(data.data(), data.size());
        r.SkipBits(start);
        const bool marker = zeros == 23 ? r.StuffedStartCodeAhead() : r.ResyncMarkerAhead(zeros);
        EXPECT_TRUE(marker) << stuffing << " " << lead << " " << zeros;
        EXPECT_TRUE(r.ZerosAfterStuffing()) << stuffing << " " << lead << " " << zeros;
      }
    }
  }
  // And it rules out ordinary data.
  const std::uint8_t data[] = {0x5A, 0x00, 0x80, 0x00};
  BitReader r(data, sizeof data);
  r.SkipBits(3);
  EXPECT_FALSE(r.ZerosAfterStuffing());
}

TEST(BitReader, NeverReadsPastTheData) {
  // The data lives at the end of a larger buffer whose tail would be visible to an unbounded read.
  std::vector<std::uint8_t> buffer = {0xFF, 0xFF, 0xAB, 0xFF, 0xFF, 0xFF};
  BitReader r(buffer.data(), 3);
  r.SkipBits(16);
  EXPECT_EQ(r.ShowBits(16), 0xAB00u);
  EXPECT_FALSE(r.PastEnd());
  r.SkipBits(8);
  EXPECT_FALSE(r.PastEnd());
  EXPECT_EQ(r.GetBits(32), 0u);
  EXPECT_TRUE(r.PastEnd());
  EXPECT_TRUE(r.StartCodeAhead());

  BitReader empty(nullptr, 10);
  EXPECT_EQ(empty.ShowBits(32), 0u);
  EXPECT_EQ(empty.Size(), 0u);
}

// The window is refilled by whole-word loads away from the end and byte by byte near it; any mix
// of skips, reads and alignments must see the same bits as reading the data bit by bit.
TEST(BitReader, MatchesBitByBitReadingAcrossRefillsAndTheEnd) {
  std::mt19937 random(7);
  for (int size : {0, 1, 7, 8, 9, 15, 16, 17, 40}) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    const auto bitAt = [&](std::size_t i) -> std::uint32_t {
      return i < 8 * data.size() ? (data[i >> 3] >> (7 - (i & 7))) & 1 : 0;
    };
    BitReader r(data.data(), data.size());
    std::size_t position = 0;
    while (position < data.size() * 8 + 80) {
      const int n = 1 + static_cast<int>(random() % 32);
      std::uint32_t expected = 0;
      for (int i = 0; i < n; ++i) expected = (expected << 1) | bitAt(position + i);
      ASSERT_EQ(r.ShowBits(n), expected) << size << " at " << position;
      switch (random() % 5) {
        case 0:
          r.AlignToByte();
          position = (position + 7) & ~std::size_t{7};
          break;
        case 1:
          r.SkipBits(40 + n);  // longer than the window holds
          position += 40 + n;
          break;
        case 2: {
          // Up to four codes of up to thirteen bits consumed with one load of the window, as the
          // coefficient loop does, then a load: every bit seen must be the data's.
          const int codes = 1 + static_cast<int>(random() % 4);
          for (int c = 0; c < codes; ++c) {
            const int m = 1 + static_cast<int>(random() % 13);
            std::uint32_t bits = 0;
            for (int i = 0; i < m; ++i) bits = (bits << 1) | bitAt(position + i);
            ASSERT_EQ(r.ShowBits(m), bits) << size << " at " << position;
            r.ConsumeInWindow(m);
            position += m;
          }
          r.TopUp();
          break;
        }
        default:
          EXPECT_EQ(r.GetBits(n), expected);
          position += n;
      }
      ASSERT_EQ(r.BitsConsumed(), position);
      EXPECT_EQ(r.PastEnd(), position > data.size() * 8);
    }
  }
}

}  // namespace
}  // namespace mivora::decoder
