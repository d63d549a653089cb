#include "decoder/reversible_vlc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "decoder/scan_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

struct Read {
  int end;
  std::int16_t block[64] = {};
};

Read ReadBlock(const BitWriter& w, bool intra, int m = 2, int c = 1) {
  const std::vector<std::uint8_t> bytes = w.Bytes();
  BitReader r(bytes.data(), bytes.size());
  Read out;
  out.end = ReadReversibleCoefficients(r, out.block, kZigzagScan, intra ? 1 : 0, intra, m, c);
  return out;
}

// The escape's fields, with the values inverse-quantised as level * m + c and then signed.
TEST(ReversibleVlc, EscapeCarriesLastRunAndLevel) {
  BitWriter w;
  w.Code("0000 1").Put(0, 1).Put(3, 6).Put(1, 1).Put(1000, 11).Put(1, 1).Code("0000 1");
  w.Code("0000 1").Put(1, 1).Put(0, 6).Put(1, 1).Put(5, 11).Put(1, 1).Code("0000 0");
  const Read r = ReadBlock(w, false);
  EXPECT_EQ(r.end, 5);
  EXPECT_EQ(r.block[kZigzagScan[3]], -2001);
  EXPECT_EQ(r.block[kZigzagScan[4]], 11);
}

// Damaged texture parts: each ends the block as lost, never writing outside it.
TEST(ReversibleVlc, DamageLosesTheBlock) {
  const struct {
    const char* name;
    std::string bits;
  } cases[] = {
      {"a word of neither shape", "1000000000000010"},
      {"a word of a shape no table entry takes", "011111110111100 0"},
      {"escape marker missing", "0000 1 1 000000 0 00000000101 1 0000 0"},
      {"escape without its closing word", "0000 1 1 000000 1 00000000101 1 0100 0"},
      {"escape of level zero", "0000 1 1 000000 1 00000000000 1 0000 0"},
      {"run past the block's end", "0000 1 1 111111 1 00000000101 1 0000 0"},
      {"no last code before the data ends", "110 0 110 0"},
  };
  for (const auto& c : cases) {
    BitWriter w;
    w.Code(c.bits);
    EXPECT_EQ(ReadBlock(w, true).end, -1) << c.name;
  }
  // 63 codes of run 0, none of them last, fill an intra block: the next one would leave it.
  BitWriter w;
  for (int i = 0; i < 63; ++i) w.Code("110 0");
  EXPECT_EQ(ReadBlock(w, true).end, -1);
}

// Blocks of both kinds going through every word of both tables in turn, with escapes (last or
// not, any run and level) among them; each code's meaning and start kept, and each block's.
struct CodeRun {
  BitWriter w;
  std::vector<std::uint8_t> intra;
  std::vector<std::size_t> starts;
  std::vector<ReversibleEvent> events;
  std::size_t written[2][2] = {};  // [intra][last]: words of each kind written
  int escapes = 0;
};
CodeRun WriteRun(std::mt19937& rng, int blocks) {
  CodeRun run;
  for (int b = 0; b < blocks; ++b) {
    const int intra = static_cast<int>(rng() % 2);
    const auto codes = ReversibleCodes(intra != 0);
    const std::size_t notLast = codes.size() - 66;  // the 66 codes marked last come after
    run.intra.push_back(static_cast<std::uint8_t>(intra));
    run.starts.push_back(static_cast<std::size_t>(run.w.Count()));
    for (int pos = intra, last = 0; !last;) {
      last = pos >= 63 || rng() % 4 == 0;
      std::size_t& i = run.written[intra][last];
      const ReversibleCode& c = last ? codes[notLast + i % 66] : codes[i % notLast];
      const bool escape = rng() % 8 == 0 || pos + c.run > 62 + last;
      const int length = escape ? static_cast<int>(rng() % (63u + last - pos)) : c.run;
      const int level = escape ? 1 + static_cast<int>(rng() % 2047) : c.level;
      const int minus = static_cast<int>(rng() % 2);
      run.events.push_back({last, length, minus ? -level : level, std::size_t(run.w.Count())});
      if (escape) {
        run.w.Code(kReversibleEscape).Put(1, 1).Put(last, 1).Put(length, 6).Put(1, 1);
        run.w.Put(level, 11).Put(1, 1).Code(kReversibleEscape);
        ++run.escapes;
      } else {
        run.w.Code(c.bits);
        ++i;
      }
      run.w.Put(minus, 1);
      pos += length + 1;
    }
  }
  return run;
}

// Codes written forward read back backward as written, one by one from the end with their
// block's table, and as whole blocks. Then one flipped bit anywhere: forward reading stops at F
// with the bit before F + 30, backward reading at B with the bit at B - 30 or later, and the
// blocks read whole backward that begin more than a code past the bit are the blocks written:
// the bounds the decoder keeps macroblocks by.
TEST(ReversibleVlc, BlocksReadBackwardAsWrittenAndBoundTheirDamage) {
  std::mt19937 rng(5);
  const CodeRun run = WriteRun(rng, 500);
  for (int intra = 0; intra < 2; ++intra)
    for (int last = 0; last < 2; ++last)
      EXPECT_GE(run.written[intra][last], last ? 66u : ReversibleCodes(intra).size() - 66);
  ASSERT_GT(run.escapes, 40);
  const std::vector<std::uint8_t> clean = run.w.Bytes();
  const auto end = static_cast<std::size_t>(run.w.Count());
  const std::size_t n = run.intra.size();
  std::size_t pos = end;
  for (std::size_t i = run.events.size(); i-- > 0;) {
    const ReversibleEvent& want = run.events[i];
    const auto block = std::upper_bound(run.starts.begin(), run.starts.end(), want.start) - 1;
    ReversibleEvent e{};
    ASSERT_TRUE(
        ReadReversibleBackward(clean.data(), 0, pos, run.intra[block - run.starts.begin()], e))
        << i;
    ASSERT_EQ(std::tie(want.start, want.last, want.run, want.level),
              std::tie(e.start, e.last, e.run, e.level))
        << i;
    pos = e.start;
  }
  std::vector<std::size_t> starts(n);
  std::size_t stopped = 1;
  EXPECT_EQ(static_cast<int>(n),
            ReadReversibleBlocksBackward(clean.data(), 0, end, run.intra, starts, stopped));
  EXPECT_EQ(run.starts, starts);
  EXPECT_EQ(0u, stopped);

  int forwardFailures = 0, backwardFailures = 0;
  for (std::size_t bit = 0; bit < end; bit += 3) {
    std::vector<std::uint8_t> bytes = clean;
    bytes[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    BitReader r(bytes.data(), bytes.size());
    std::int16_t block[64];
    for (std::size_t j = 0; j < n; ++j) {
      if (ReadReversibleCoefficients(r, block, kZigzagScan, run.intra[j], run.intra[j], 1, 0) < 0) {
        EXPECT_LT(bit, r.BitsConsumed() + kLongestReversibleCode) << bit;
        ++forwardFailures;
        break;
      }
    }
    const int whole =
        ReadReversibleBlocksBackward(bytes.data(), 0, end, run.intra, starts, stopped);
    backwardFailures += stopped > 0;
    EXPECT_GE(bit + kLongestReversibleCode, stopped) << bit;
    for (std::size_t j = n - static_cast<std::size_t>(whole); j < n; ++j)
      EXPECT_TRUE(starts[j] <= bit + kLongestReversibleCode || starts[j] == run.starts[j]) << bit;
  }
  // Most flips are noticed both ways (not a sign's, nor most of an escape level's).
  EXPECT_GT(forwardFailures, static_cast<int>(end / 6));
  EXPECT_GT(backwardFailures, static_cast<int>(end / 6));
}

}  // namespace
}  // namespace mivora::decoder
