// The block coefficient loop against a plain model: streams of random codes (every table code,
// all three escape forms, both signs) at every quantiser, blocks back to back in one stream and
// ending at or near the end of the data, so the window's top-ups fall at every place.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/block_coefficients.h"
#include "decoder/dsp.h"
#include "decoder/scan_tables.h"
#include "decoder/vlc_tables.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder {
namespace {

using testing::BitWriter;

struct TableCode {
  std::uint32_t bits;
  int length, last, run, level;
};

// The code words of one table, read back from the full lookup table (whose entries are checked
// against the written-out code lists in the table tests).
std::vector<TableCode> CodesOf(bool intra) {
  const CoefficientEntry* table = intra ? Tables().intra : Tables().inter;
  std::map<std::pair<std::uint32_t, int>, TableCode> codes;
  for (std::uint32_t i = 0; i < (1u << kCoefficientBits); ++i) {
    const CoefficientEntry& e = table[i];
    if (!e.length || (e.flags & kCoefficientSpecial)) continue;
    const std::uint32_t bits = i >> (kCoefficientBits - e.length);
    codes[{bits, e.length}] = {bits, e.length, e.runLast / kCoefficientLastRun,
                               e.runLast % kCoefficientLastRun, e.level};
  }
  std::vector<TableCode> out;
  for (const auto& [key, code] : codes) out.push_back(code);
  return out;
}

// One event as the stream carries it and the value the block must get.
struct Event {
  int last, run, level;  // level signed
};

int Dequantised(int level, int q) {
  if (level == 0) return 0;
  const int c = (q & 1) ? q : q - 1;
  const int magnitude = (level < 0 ? -level : level) * 2 * q + c;
  return level < 0 ? -magnitude : magnitude;
}

class StreamMaker {
 public:
  explicit StreamMaker(bool intra, std::uint32_t seed)
      : intra_(intra), codes_(CodesOf(intra)), random_(seed) {}

  // Writes one event from pos, the last one when last is set: its run fits before position 64,
  // and before 63 for any other, so that the last one always fits after it. Cycles through the
  // table codes so every one is written, writes the short ones more often (as streams do, and so
  // that codes follow each other closely), and mixes in escapes.
  Event Write(BitWriter& w, int pos, bool last) {
    const int room = (last ? 63 : 62) - pos;
    for (;;) {
      const int kind = static_cast<int>(random_() % 8);
      const TableCode& t =
          kind < 3 ? codes_[random_() % codes_.size()] : codes_[next_++ % codes_.size()];
      if (t.last != static_cast<int>(last) || (kind < 3 && t.length > 5)) continue;
      const int sign = static_cast<int>(random_() & 1);
      if (kind == 5) {
        // Escape, type 1: the level goes on from the largest of its run.
        const int level = t.level + MaxLevel(intra_, t.last, t.run);
        if (t.run > room) continue;
        w.Code("0000011 0").Put(t.bits, t.length).Put(sign, 1);
        return {t.last, t.run, sign ? -level : level};
      }
      if (kind == 6) {
        // Type 2: the run goes on past the longest of its level.
        const int run = t.run + MaxRun(intra_, t.last, t.level) + 1;
        if (run > room) continue;
        w.Code("0000011 10").Put(t.bits, t.length).Put(sign, 1);
        return {t.last, run, sign ? -t.level : t.level};
      }
      if (kind == 7) {
        // Type 3: fixed length, any run and a nonzero twelve-bit level.
        const int run = static_cast<int>(random_() % (room + 1));
        int level = static_cast<int>(random_() % 4095) - 2047;
        if (level == 0) level = 1;
        w.Code("0000011 11").Put(last, 1).Put(run, 6).Put(1, 1);
        w.Put(static_cast<std::uint32_t>(level) & 0xFFF, 12).Put(1, 1);
        return {last, run, level};
      }
      if (t.run > room) continue;
      w.Put(t.bits, t.length).Put(sign, 1);
      return {t.last, t.run, sign ? -t.level : t.level};
    }
  }

  // A whole block from pos: its codes into w, the expected coefficients into expected (q 0: the
  // levels as they stand).
  void WriteBlock(BitWriter& w, int pos, int q, const std::uint8_t* scan,
                  std::int16_t expected[64]) {
    const int events = 1 + static_cast<int>(random_() % 24);
    for (int n = 1;; ++n) {
      // The last code once the count is reached or when only one position is left.
      const bool last = n >= events || pos >= 62;
      const Event e = Write(w, pos, last);
      pos += e.run;
      expected[scan[pos]] = static_cast<std::int16_t>(q ? Dequantised(e.level, q) : e.level);
      ++pos;
      if (last) return;
    }
  }

  std::mt19937& random() { return random_; }

 private:
  bool intra_;
  std::vector<TableCode> codes_;
  std::size_t next_ = 0;
  std::mt19937 random_;
};

struct Decoder {
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  std::vector<std::uint8_t> bytes;
  Decoder(const BitWriter& w, int q, std::size_t padding, std::uint8_t pad) {
    SizeMacroblockState(*state, 32, 32);
    bytes = w.Bytes();
    bytes.insert(bytes.end(), padding, pad);
    state->reader.Reset(bytes.data(), bytes.size());
    state->picture.quantiser = q;
  }
};

TEST(CoefficientLoop, RandomInterBlocksMatchTheModel) {
  StreamMaker maker(false, 1);
  for (int round = 0; round < 400; ++round) {
    const int q = 1 + round % 31;
    const int blocks = 1 + static_cast<int>(maker.random()() % 6);
    BitWriter w;
    std::vector<std::array<std::int16_t, 64>> expected(blocks);
    std::vector<std::size_t> ends;
    for (auto& block : expected) {
      block.fill(0);
      maker.WriteBlock(w, 0, q, kZigzagScan, block.data());
      ends.push_back(static_cast<std::size_t>(w.Count()));
    }
    // No bytes after the stream, a few, or enough for whole-word loads; ones or zeros.
    const std::size_t padding = round % 3 == 0 ? 0 : maker.random()() % 24;
    Decoder d(w, q, padding, round % 2 ? 0xFF : 0x00);
    for (int b = 0; b < blocks; ++b) {
      std::memset(d.state->block, 0, sizeof d.state->block);
      DecodeInterBlock(*d.state, 0);
      ASSERT_FALSE(d.state->lost) << "round " << round << " block " << b;
      ASSERT_EQ(d.state->reader.BitsConsumed(), ends[b]) << "round " << round << " block " << b;
      for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(d.state->block[i], expected[b][i])
            << "round " << round << " block " << b << " index " << i;
      }
    }
  }
}

// The MPEG method: a non-intra block comes out as its levels weighed by the portable inverse
// quantisation, mismatch control included; weights of 255 and fixed-length escapes saturate.
TEST(CoefficientLoop, WeighedInterBlocksMatchLevelsThenInverseQuantisation) {
  StreamMaker maker(false, 3);
  for (int round = 0; round < 400; ++round) {
    const int q = 1 + round % 31;
    BitWriter w;
    std::array<std::int16_t, 64> expected{};
    maker.WriteBlock(w, 0, 0, kZigzagScan, expected.data());
    Decoder d(w, q, round % 3 == 0 ? 0 : 8, 0xFF);
    d.state->sequence.quantType = 1;
    std::uint8_t* weights = d.state->sequence.matrices.inter;
    for (int i = 0; i < 64; ++i)
      weights[i] = static_cast<std::uint8_t>(round % 5 == 0 ? 255 : 1 + maker.random()() % 255);
    ReferenceDsp().dequantInter(expected.data(), weights, q);
    DecodeInterBlock(*d.state, 0);
    ASSERT_FALSE(d.state->lost) << round;
    ASSERT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count())) << round;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(d.state->block[i], expected[i]) << round << " " << i;
  }
}

// The DC size codes of one kind, read back from the full lookup table like the coefficient
// codes: [size] = {bits, length}.
std::vector<std::pair<std::uint32_t, int>> DcSizeCodes(bool luminance) {
  const VlcEntry* table = luminance ? Tables().dcSizeLuma : Tables().dcSizeChroma;
  std::vector<std::pair<std::uint32_t, int>> codes(13);
  for (std::uint32_t i = 0; i < (1u << kDcSizeBits); ++i) {
    const VlcEntry& e = table[i];
    if (e.length) codes[e.value] = {i >> (kDcSizeBits - e.length), e.length};
  }
  return codes;
}

TEST(CoefficientLoop, RandomIntraBlocksMatchTheModel) {
  StreamMaker maker(true, 2);
  for (int round = 0; round < 300; ++round) {
    const int q = 1 + round % 31;
    const bool luminance = round % 3 != 0;
    // A DC differential of every size, marker after the long ones.
    const int size = round % 13;
    const auto [dcBits, dcLength] = DcSizeCodes(luminance)[size];
    BitWriter w;
    w.Put(dcBits, dcLength);
    int diff = 0;
    if (size > 0) {
      const std::uint32_t v = maker.random()() & ((1u << size) - 1);
      w.Put(v, size);
      if (size > 8) w.Put(1, 1);
      diff = (v >> (size - 1)) ? static_cast<int>(v) : -static_cast<int>(v ^ ((1u << size) - 1));
    }
    std::array<std::int16_t, 64> expected{};
    maker.WriteBlock(w, 1, q, kZigzagScan, expected.data());
    Decoder d(w, q, round % 4 == 0 ? 0 : 9, 0x5A);
    DecodeIntraBlock(*d.state, luminance ? 0 : 4, true);
    ASSERT_FALSE(d.state->lost) << round;
    ASSERT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count())) << round;
    // Every neighbour outside the picture: DC 1024, predicted from the left.
    const int s = DcScaler(q, luminance);
    const auto dc = static_cast<std::int16_t>(diff + ScaledPredictor(1024, s));
    EXPECT_EQ(d.state->block[0], static_cast<std::int16_t>(dc * s)) << round;
    for (int i = 1; i < 64; ++i) ASSERT_EQ(d.state->block[i], expected[i]) << round << " " << i;
  }
}

// Every table code in both escape forms that go on from the table, both signs, at every
// quantiser, in both kinds of block: one event and a closing code, checked against the model. The
// decoder takes the short ones from a table built per quantiser and the rest as they come.
TEST(CoefficientLoop, EveryLevelAndRunEscapeAtEveryQuantiser) {
  for (const bool intra : {false, true}) {
    const std::vector<TableCode> codes = CodesOf(intra);
    const TableCode* closing = nullptr;  // the shortest last code of run 0
    for (const TableCode& t : codes)
      if (t.last && t.run == 0 && (!closing || t.length < closing->length)) closing = &t;
    ASSERT_NE(closing, nullptr);
    const int first = intra ? 1 : 0;
    const auto dcZero = DcSizeCodes(true)[0];
    for (int q = 1; q <= 31; ++q) {
      for (const TableCode& t : codes) {
        for (int form = 1; form <= 2; ++form) {
          for (int sign = 0; sign < 2; ++sign) {
            int run = t.run, level = t.level;
            if (form == 1) {
              level += MaxLevel(intra, t.last, t.run);
            } else {
              run += MaxRun(intra, t.last, t.level) + 1;
            }
            if (first + run > 62) continue;
            BitWriter w;
            if (intra) w.Put(dcZero.first, dcZero.second);
            w.Code(form == 1 ? "0000011 0" : "0000011 10").Put(t.bits, t.length).Put(sign, 1);
            if (!t.last) w.Put(closing->bits, closing->length).Put(0, 1);
            Decoder d(w, q, 8, 0);
            std::int16_t* block = d.state->block;
            std::memset(block, 0, 64 * sizeof *block);
            if (intra) {
              DecodeIntraBlock(*d.state, 0, true);
            } else {
              DecodeInterBlock(*d.state, 0);
            }
            const std::string what = std::string(intra ? "intra" : "inter") + " q " +
                                     std::to_string(q) + " form " + std::to_string(form) + " run " +
                                     std::to_string(run) + " level " +
                                     std::to_string(sign ? -level : level);
            ASSERT_FALSE(d.state->lost) << what;
            ASSERT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count())) << what;
            const int at = first + run;
            EXPECT_EQ(block[kZigzagScan[at]], Dequantised(sign ? -level : level, q)) << what;
            if (!t.last) {
              EXPECT_EQ(block[kZigzagScan[at + 1]], Dequantised(closing->level, q)) << what;
            }
          }
        }
      }
    }
  }
}

// Lookups that take the most bits (ten-bit codes and their signs) between codes of twelve bits,
// at every alignment: the window loaded ahead of time must still hold every bit they read.
TEST(CoefficientLoop, LongestLookupsAtEveryAlignment) {
  for (int prefix = 0; prefix < 8; ++prefix) {
    const int q = 3;
    BitWriter w;
    std::array<std::int16_t, 64> expected{};
    int pos = 0;
    const auto put = [&](const char* code, int run, int level) {
      w.Code(code);
      pos += run;
      expected[kZigzagScan[pos++]] = static_cast<std::int16_t>(Dequantised(level, q));
    };
    for (int i = 0; i < prefix; ++i) put("10 0", 0, 1);  // three bits: every alignment
    while (pos + 5 < 63) {
      put("0000100001 1", 0, -8);  // inter (0, 0, 8)
      put("0000100000 1", 0, -9);  // (0, 0, 9)
      put("0000100001 1", 0, -8);
      put("000001010000 1", 1, -6);  // (0, 1, 6), twelve bits
    }
    put("0111 1", 0, -1);  // (1, 0, 1)
    Decoder d(w, q, prefix % 2 ? 16 : 0, 0xFF);
    DecodeInterBlock(*d.state, 0);
    ASSERT_FALSE(d.state->lost) << prefix;
    EXPECT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count())) << prefix;
    for (int i = 0; i < 64; ++i) ASSERT_EQ(d.state->block[i], expected[i]) << prefix << " " << i;
  }
}

// A damaged block stops at the offending code, in either place of a pair of codes, and never
// writes past the block.
TEST(CoefficientLoop, DamagedBlocksStopWithoutWritingOutside) {
  struct Case {
    const char* what;
    const char* bits;
    int written;   // codes stored before the damage
    int consumed;  // bits read: the offending code's too, but none of bits that begin no code
  };
  const Case cases[] = {
      // Runs past position 63: the first code of a pair, then the second.
      {"first", "0000011 11 0 111111 1 000000000101 1  0000011 11 0 000001 1 000000000101 1", 1,
       60},
      {"second", "10 0  0000011 11 0 111111 1 000000000101 1  10 0", 1, 33},
      // The last code with a run past the end.
      {"last", "10 0  10 0  0000011 11 1 111111 1 000000000001 1", 2, 36},
      // Bits that begin no code, first and second of a pair.
      {"invalid first", "10 0  10 0  000000000000 000000000000", 2, 6},
      {"invalid second", "10 0  000000000000 000000000000", 1, 3},
      // An escape whose code is another escape, and one followed by invalid bits: the escape
      // code is taken.
      {"escape in escape", "10 0  0000011 10 0000011 0", 1, 10},
      {"invalid after escape", "10 0  0000011 0 000000000000", 1, 10},
  };
  for (const Case& c : cases) {
    BitWriter w;
    w.Code(c.bits).Put(0, 16);
    Decoder d(w, 2, 0, 0);
    std::int16_t* block = d.state->block;
    std::memset(block, 0, 64 * sizeof *block);
    DecodeInterBlock(*d.state, 0);
    EXPECT_TRUE(d.state->lost) << c.what;
    EXPECT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(c.consumed)) << c.what;
    int nonzero = 0;
    for (int i = 0; i < 64; ++i) nonzero += block[i] != 0;
    // The first escape case stores its one code at position 63.
    EXPECT_EQ(nonzero, c.written) << c.what;
  }
  {
    // A run past the end in a code read together with the one after it: the position is left
    // after the offending code, as when it comes alone (the macroblock's later blocks read on
    // from there).
    BitWriter w;
    for (int i = 0; i < 62; ++i) w.Code("10 0");  // in pairs
    const int before = w.Count();
    w.Code("1110 0").Code("10 0").Put(0, 16);  // run 2 from position 62, then run 0
    Decoder d(w, 1, 0, 0);
    DecodeInterBlock(*d.state, 0);
    EXPECT_TRUE(d.state->lost);
    EXPECT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(before + 5));
  }
  {
    // A run escape that leads past the end, from position 62: run 1 + 26 + 1. Its codes are
    // taken, the codes before it kept.
    BitWriter w;
    for (int i = 0; i < 62; ++i) w.Code("10 0");
    const int before = w.Count();
    w.Code("0000011 10  0111 0").Put(0, 16);
    Decoder d(w, 3, 0, 0);
    DecodeInterBlock(*d.state, 0);
    EXPECT_TRUE(d.state->lost);
    EXPECT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(before + 14));
    int nonzero = 0;
    for (int i = 0; i < 64; ++i) nonzero += d.state->block[i] != 0;
    EXPECT_EQ(nonzero, 62);
  }
  // The longest block: 64 codes of run 0, the last one at position 63.
  BitWriter w;
  for (int i = 0; i < 63; ++i) w.Code("10 1");
  w.Code("0111 0");
  Decoder d(w, 1, 0, 0);
  DecodeInterBlock(*d.state, 0);
  EXPECT_FALSE(d.state->lost);
  EXPECT_EQ(d.state->block[kZigzagScan[0]], -3);
  EXPECT_EQ(d.state->block[63], 3);
  EXPECT_EQ(d.state->reader.BitsConsumed(), static_cast<std::size_t>(w.Count()));
}

}  // namespace
}  // namespace mivora::decoder
