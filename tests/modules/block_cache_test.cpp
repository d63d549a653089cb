// BlockCache over a scripted source: what it keeps, what it asks the source for.
#include "modules/InputMediaCommon/block_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <utility>
#include <vector>

namespace mivora::io {
namespace {

// Bytes i = i mod 251; records every ReadAt as (pos, count); can deliver at most `limit` bytes
// per call to act like a server whose connections are cut.
class ScriptedSource final : public ByteSource {
 public:
  explicit ScriptedSource(std::int64_t length) : length_(length) {}
  std::int64_t Length() const override { return length_; }
  std::int64_t ReadAt(std::int64_t pos, std::uint8_t* buffer, std::int64_t count) override {
    calls.emplace_back(pos, count);
    const std::int64_t n = std::max<std::int64_t>(0, std::min({count, length_ - pos, limit}));
    for (std::int64_t i = 0; i < n; ++i) buffer[i] = static_cast<std::uint8_t>((pos + i) % 251);
    return n;
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> calls;
  std::int64_t limit = INT64_MAX;

 private:
  std::int64_t length_;
};

std::vector<std::uint8_t> Expected(std::int64_t pos, std::int64_t count) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>((pos + i) % 251);
  return out;
}

std::vector<std::uint8_t> Read(BlockCache& cache, std::int64_t pos, std::int64_t count) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(count));
  out.resize(static_cast<std::size_t>(cache.Read(pos, out.data(), count)));
  return out;
}

TEST(BlockCacheTest, EvictsTheLeastRecentlyUsedBlock) {
  ScriptedSource source(100);
  BlockCache cache(&source, 10, 3, 1);
  for (int block : {0, 1, 2, 0, 3}) {
    ASSERT_EQ(Read(cache, block * 10 + 5, 3), Expected(block * 10 + 5, 3));
  }
  EXPECT_EQ(source.calls.size(), 4u);  // 0, 1, 2, 3; the second read of 0 was a hit
  // Block 1 was the least recently used when 3 came in; 0 and 2 are still there.
  Read(cache, 0, 10);
  Read(cache, 25, 5);
  EXPECT_EQ(source.calls.size(), 4u);
  Read(cache, 12, 1);
  ASSERT_EQ(source.calls.size(), 5u);
  EXPECT_EQ(source.calls.back(), std::make_pair(std::int64_t{10}, std::int64_t{10}));
  EXPECT_EQ(cache.hits(), 3);
}

TEST(BlockCacheTest, ReadsAheadOverMissingBlocksWithinTheSource) {
  ScriptedSource source(95);
  BlockCache cache(&source, 10, 10, 4);
  // One call fetches blocks 0-3; a read across them needs nothing more.
  ASSERT_EQ(Read(cache, 2, 35), Expected(2, 35));
  ASSERT_EQ(source.calls.size(), 1u);
  EXPECT_EQ(source.calls[0], std::make_pair(std::int64_t{0}, std::int64_t{40}));
  // Read-ahead stops at the end of the source (the short last block is kept like any other) ...
  ASSERT_EQ(Read(cache, 60, 1), Expected(60, 1));
  EXPECT_EQ(source.calls[1], std::make_pair(std::int64_t{60}, std::int64_t{35}));
  // ... and before a block already held.
  ASSERT_EQ(Read(cache, 45, 1), Expected(45, 1));
  EXPECT_EQ(source.calls[2], std::make_pair(std::int64_t{40}, std::int64_t{20}));
  ASSERT_EQ(Read(cache, 0, 200), Expected(0, 95));
  EXPECT_EQ(source.calls.size(), 3u);
  EXPECT_TRUE(Read(cache, 95, 1).empty());
  EXPECT_TRUE(Read(cache, -1, 1).empty());
}

TEST(BlockCacheTest, BlocksDeliveredInPartsAreCompletedFromWhereTheyStopped) {
  ScriptedSource source(100);
  BlockCache cache(&source, 40, 4, 2);
  source.limit = 15;
  // Each read gets what one call delivers; the next continues at the first missing byte.
  EXPECT_EQ(Read(cache, 0, 40), Expected(0, 15));
  EXPECT_EQ(Read(cache, 15, 40), Expected(15, 15));
  EXPECT_EQ(source.calls[1], std::make_pair(std::int64_t{15}, std::int64_t{25}));
  // Bytes already held are served again without a call.
  EXPECT_EQ(Read(cache, 3, 10), Expected(3, 10));
  EXPECT_EQ(source.calls.size(), 2u);
  source.limit = INT64_MAX;
  EXPECT_EQ(Read(cache, 30, 70), Expected(30, 70));
  // Everything is whole now and held.
  const auto calls = source.calls.size();
  EXPECT_EQ(Read(cache, 0, 100), Expected(0, 100));
  EXPECT_EQ(source.calls.size(), calls);

  // A source that delivers nothing makes reads return 0 and keeps nothing.
  ScriptedSource dead(100);
  dead.limit = 0;
  BlockCache none(&dead, 40, 4, 2);
  EXPECT_TRUE(Read(none, 50, 10).empty());
  EXPECT_TRUE(Read(none, 50, 10).empty());
  EXPECT_EQ(dead.calls.size(), 2u);
}

}  // namespace
}  // namespace mivora::io
