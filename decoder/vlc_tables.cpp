#include "decoder/vlc_tables.h"

#include <cstddef>

namespace mivora::decoder {
namespace {

struct Code {
  const char* bits;
  int value;
};

// Macroblock type and chroma pattern, I pictures: value type | (cbpc << 4).
constexpr Code kMcbpcI[] = {
    {"1", 3},         {"001", 0x13},    {"010", 0x23},
    {"011", 0x33},    {"0001", 4},      {"000001", 0x14},
    {"000010", 0x24}, {"000011", 0x34}, {"000000001", kMcbpcStuffing},
};

// P pictures.
constexpr Code kMcbpcP[] = {
    {"1", 0x00},         {"0011", 0x10},      {"0010", 0x20},
    {"000101", 0x30},    {"011", 0x01},       {"0000111", 0x11},
    {"0000110", 0x21},   {"000000101", 0x31}, {"010", 0x02},
    {"0000101", 0x12},   {"0000100", 0x22},   {"00000101", 0x32},
    {"00011", 0x03},     {"00000100", 0x13},  {"00000011", 0x23},
    {"0000011", 0x33},   {"000100", 0x04},    {"000000100", 0x14},
    {"000000011", 0x24}, {"000000010", 0x34}, {"000000001", kMcbpcStuffing},
};

// Luminance pattern, intra form (bit 3 block 0 ... bit 0 block 3).
constexpr Code kCbpy[] = {
    {"0011", 0},   {"00101", 1}, {"00100", 2}, {"1001", 3},   {"00011", 4}, {"0111", 5},
    {"000010", 6}, {"1011", 7},  {"00010", 8}, {"000011", 9}, {"0101", 10}, {"1010", 11},
    {"0100", 12},  {"1000", 13}, {"0110", 14}, {"11", 15},
};

// Motion vector difference magnitudes 0..32; a sign bit follows every nonzero one.
constexpr const char* kMotion[33] = {
    "1",           "01",           "001",          "0001",        "000011",      "0000101",
    "0000100",     "0000011",      "000001011",    "000001010",   "000001001",   "0000010001",
    "0000010000",  "0000001111",   "0000001110",   "0000001101",  "0000001100",  "0000001011",
    "0000001010",  "0000001001",   "0000001000",   "0000000111",  "0000000110",  "0000000101",
    "0000000100",  "00000000111",  "00000000110",  "00000000101", "00000000100", "00000000011",
    "00000000010", "000000000011", "000000000010",
};

// Intra DC sizes 0..12.
constexpr const char* kDcSizeLuma[13] = {
    "011",    "11",      "10",       "010",       "001",        "0001",        "00001",
    "000001", "0000001", "00000001", "000000001", "0000000001", "00000000001",
};
constexpr const char* kDcSizeChroma[13] = {
    "11",      "10",       "01",        "001",        "0001",        "00001",        "000001",
    "0000001", "00000001", "000000001", "0000000001", "00000000001", "000000000001",
};

// Coefficient code words (sign bit excluded) with their inter and intra (last, run, level).
struct CoefficientCode {
  const char* bits;
  std::uint8_t interLast, interRun, interLevel;
  std::uint8_t intraLast, intraRun, intraLevel;
};

constexpr CoefficientCode kCoefficients[] = {
    {"10", 0, 0, 1, 0, 0, 1},
    {"1111", 0, 0, 2, 0, 0, 3},
    {"010101", 0, 0, 3, 0, 0, 6},
    {"0010111", 0, 0, 4, 0, 0, 9},
    {"00011111", 0, 0, 5, 0, 0, 10},
    {"000100101", 0, 0, 6, 0, 0, 13},
    {"000100100", 0, 0, 7, 0, 0, 14},
    {"0000100001", 0, 0, 8, 0, 0, 17},
    {"0000100000", 0, 0, 9, 0, 0, 18},
    {"00000000111", 0, 0, 10, 0, 0, 21},
    {"00000000110", 0, 0, 11, 0, 0, 22},
    {"00000100000", 0, 0, 12, 0, 0, 23},
    {"110", 0, 1, 1, 0, 0, 2},
    {"010100", 0, 1, 2, 0, 1, 2},
    {"00011110", 0, 1, 3, 0, 0, 11},
    {"0000001111", 0, 1, 4, 0, 0, 19},
    {"00000100001", 0, 1, 5, 0, 0, 24},
    {"000001010000", 0, 1, 6, 0, 0, 25},
    {"1110", 0, 2, 1, 0, 1, 1},
    {"00011101", 0, 2, 2, 0, 0, 12},
    {"0000001110", 0, 2, 3, 0, 0, 20},
    {"000001010001", 0, 2, 4, 0, 0, 26},
    {"01101", 0, 3, 1, 0, 0, 4},
    {"000100011", 0, 3, 2, 0, 0, 15},
    {"0000001101", 0, 3, 3, 0, 1, 7},
    {"01100", 0, 4, 1, 0, 0, 5},
    {"000100010", 0, 4, 2, 0, 4, 2},
    {"000001010010", 0, 4, 3, 0, 0, 27},
    {"01011", 0, 5, 1, 0, 2, 1},
    {"0000001100", 0, 5, 2, 0, 2, 4},
    {"000001010011", 0, 5, 3, 0, 1, 9},
    {"010011", 0, 6, 1, 0, 0, 7},
    {"0000001011", 0, 6, 2, 0, 3, 4},
    {"000001010100", 0, 6, 3, 0, 6, 3},
    {"010010", 0, 7, 1, 0, 0, 8},
    {"0000001010", 0, 7, 2, 0, 4, 3},
    {"010001", 0, 8, 1, 0, 3, 1},
    {"0000001001", 0, 8, 2, 0, 8, 2},
    {"010000", 0, 9, 1, 0, 4, 1},
    {"0000001000", 0, 9, 2, 0, 5, 3},
    {"0010110", 0, 10, 1, 0, 1, 3},
    {"000001010101", 0, 10, 2, 0, 1, 10},
    {"0010101", 0, 11, 1, 0, 2, 2},
    {"0010100", 0, 12, 1, 0, 7, 1},
    {"00011100", 0, 13, 1, 0, 1, 4},
    {"00011011", 0, 14, 1, 0, 3, 2},
    {"000100001", 0, 15, 1, 0, 0, 16},
    {"000100000", 0, 16, 1, 0, 1, 5},
    {"000011111", 0, 17, 1, 0, 1, 6},
    {"000011110", 0, 18, 1, 0, 2, 3},
    {"000011101", 0, 19, 1, 0, 3, 3},
    {"000011100", 0, 20, 1, 0, 5, 2},
    {"000011011", 0, 21, 1, 0, 6, 2},
    {"000011010", 0, 22, 1, 0, 7, 2},
    {"00000100010", 0, 23, 1, 0, 1, 8},
    {"00000100011", 0, 24, 1, 0, 9, 2},
    {"000001010110", 0, 25, 1, 0, 2, 5},
    {"000001010111", 0, 26, 1, 0, 7, 3},
    {"0111", 1, 0, 1, 1, 0, 1},
    {"000011001", 1, 0, 2, 0, 11, 1},
    {"00000000101", 1, 0, 3, 1, 0, 6},
    {"001111", 1, 1, 1, 1, 1, 1},
    {"00000000100", 1, 1, 2, 1, 0, 7},
    {"001110", 1, 2, 1, 1, 2, 1},
    {"001101", 1, 3, 1, 0, 5, 1},
    {"001100", 1, 4, 1, 1, 0, 2},
    {"0010011", 1, 5, 1, 1, 5, 1},
    {"0010010", 1, 6, 1, 0, 6, 1},
    {"0010001", 1, 7, 1, 1, 3, 1},
    {"0010000", 1, 8, 1, 1, 4, 1},
    {"00011010", 1, 9, 1, 1, 9, 1},
    {"00011001", 1, 10, 1, 0, 8, 1},
    {"00011000", 1, 11, 1, 0, 9, 1},
    {"00010111", 1, 12, 1, 0, 10, 1},
    {"00010110", 1, 13, 1, 1, 0, 3},
    {"00010101", 1, 14, 1, 1, 6, 1},
    {"00010100", 1, 15, 1, 1, 7, 1},
    {"00010011", 1, 16, 1, 1, 8, 1},
    {"000011000", 1, 17, 1, 0, 12, 1},
    {"000010111", 1, 18, 1, 1, 0, 4},
    {"000010110", 1, 19, 1, 1, 1, 2},
    {"000010101", 1, 20, 1, 1, 10, 1},
    {"000010100", 1, 21, 1, 1, 11, 1},
    {"000010011", 1, 22, 1, 1, 12, 1},
    {"000010010", 1, 23, 1, 1, 13, 1},
    {"000010001", 1, 24, 1, 1, 14, 1},
    {"0000000111", 1, 25, 1, 0, 13, 1},
    {"0000000110", 1, 26, 1, 1, 0, 5},
    {"0000000101", 1, 27, 1, 1, 1, 3},
    {"0000000100", 1, 28, 1, 1, 2, 2},
    {"00000100100", 1, 29, 1, 1, 3, 2},
    {"00000100101", 1, 30, 1, 1, 4, 2},
    {"00000100110", 1, 31, 1, 1, 15, 1},
    {"00000100111", 1, 32, 1, 1, 16, 1},
    {"000001011000", 1, 33, 1, 0, 14, 1},
    {"000001011001", 1, 34, 1, 1, 0, 8},
    {"000001011010", 1, 35, 1, 1, 5, 2},
    {"000001011011", 1, 36, 1, 1, 6, 2},
    {"000001011100", 1, 37, 1, 1, 17, 1},
    {"000001011101", 1, 38, 1, 1, 18, 1},
    {"000001011110", 1, 39, 1, 1, 19, 1},
    {"000001011111", 1, 40, 1, 1, 20, 1},
};
constexpr const char* kEscape = "0000011";

constexpr int Length(const char* bits) {
  int n = 0;
  while (bits[n]) ++n;
  return n;
}
constexpr unsigned Bits(const char* bits) {
  unsigned v = 0;
  for (int i = 0; bits[i]; ++i) v = (v << 1) | static_cast<unsigned>(bits[i] == '1');
  return v;
}

// Every index whose top bits are the code word gets the entry.
template <typename Entry>
constexpr void Place(Entry* table, int tableBits, unsigned code, int length, const Entry& entry) {
  const int free = tableBits - length;
  const unsigned first = code << free;
  for (unsigned i = 0; i < (1u << free); ++i) table[first + i] = entry;
}

constexpr void Place(VlcEntry* table, int tableBits, const char* bits, int value) {
  Place(table, tableBits, Bits(bits), Length(bits),
        VlcEntry{static_cast<std::int16_t>(value), static_cast<std::uint8_t>(Length(bits))});
}

// The first-level table of a full one: codes that fit, length 0 elsewhere.
constexpr void Shorten(const VlcEntry* full, int fullBits, VlcEntry* head, int headBits) {
  for (int i = 0; i < (1 << headBits); ++i) {
    const VlcEntry& e = full[i << (fullBits - headBits)];
    head[i] = e.length <= headBits ? e : VlcEntry{0, 0};
  }
}

constexpr VlcTables Build() {
  VlcTables tables{};
  VlcTables* t = &tables;
  for (const auto& c : kMcbpcI) Place(t->mcbpcI, kMcbpcBits, c.bits, c.value);
  for (const auto& c : kMcbpcP) Place(t->mcbpcP, kMcbpcBits, c.bits, c.value);
  for (const auto& c : kCbpy) Place(t->cbpy, kCbpyBits, c.bits, c.value);
  Place(t->motion, kMotionBits, kMotion[0], 0);
  for (int m = 1; m <= 32; ++m) {
    const int len = Length(kMotion[m]) + 1;
    const unsigned code = Bits(kMotion[m]) << 1;
    const auto length = static_cast<std::uint8_t>(len);
    Place(t->motion, kMotionBits, code, len, VlcEntry{static_cast<std::int16_t>(m), length});
    Place(t->motion, kMotionBits, code | 1, len, VlcEntry{static_cast<std::int16_t>(-m), length});
  }
  for (int s = 0; s <= 12; ++s) {
    Place(t->dcSizeLuma, kDcSizeBits, kDcSizeLuma[s], s);
    Place(t->dcSizeChroma, kDcSizeBits, kDcSizeChroma[s], s);
  }
  const CoefficientEntry invalid{0, 0, 0, kCoefficientSpecial};
  for (auto& e : t->inter) e = invalid;
  for (auto& e : t->intra) e = invalid;
  for (const auto& c : kCoefficients) {
    const int len = Length(c.bits);
    const auto length = static_cast<std::uint8_t>(len);
    const auto runLast = [](int run, int last) {
      return static_cast<std::uint8_t>(run + kCoefficientLastRun * last);
    };
    Place(t->inter, kCoefficientBits, Bits(c.bits), len,
          CoefficientEntry{length, runLast(c.interRun, c.interLast), c.interLevel, 0});
    Place(t->intra, kCoefficientBits, Bits(c.bits), len,
          CoefficientEntry{length, runLast(c.intraRun, c.intraLast), c.intraLevel, 0});
  }
  const CoefficientEntry escape{static_cast<std::uint8_t>(Length(kEscape)), 0, 0,
                                kCoefficientSpecial | kCoefficientEscape};
  Place(t->inter, kCoefficientBits, Bits(kEscape), Length(kEscape), escape);
  Place(t->intra, kCoefficientBits, Bits(kEscape), Length(kEscape), escape);
  Shorten(t->motion, kMotionBits, t->motionHead, kMotionHeadBits);
  Shorten(t->dcSizeLuma, kDcSizeBits, t->dcSizeLumaHead, kDcSizeHeadBits);
  Shorten(t->dcSizeChroma, kDcSizeBits, t->dcSizeChromaHead, kDcSizeHeadBits);
  constexpr int extra = kCoefficientBits - kCoefficientHeadBits;
  for (int i = 0; i < (1 << kCoefficientHeadBits); ++i) {
    const CoefficientEntry& inter = t->inter[i << extra];
    const CoefficientEntry& intra = t->intra[i << extra];
    // Both tables share their code words, so a code is short in both or in neither.
    const bool fits = inter.length && inter.length <= kCoefficientHeadBits;
    t->interHead[i] = fits ? inter : invalid;
    t->intraHead[i] = fits ? intra : invalid;
  }
  constexpr int signedExtra = kCoefficientBits - kSignedHeadBits;
  for (int i = 0; i < (1 << kSignedHeadBits); ++i) {
    const CoefficientEntry& inter = t->inter[i << signedExtra];
    const CoefficientEntry& intra = t->intra[i << signedExtra];
    const bool fits = inter.length && !(inter.flags & kCoefficientSpecial) &&
                      inter.length <= kCoefficientHeadBits;
    // The bit after the code word.
    const int sign = fits ? (i >> (kSignedHeadBits - 1 - inter.length)) & 1 : 0;
    const auto entry = [&](const CoefficientEntry& e) {
      if (!fits) return SignedCoefficientEntry{0, 0, 0, 0};
      return SignedCoefficientEntry{static_cast<std::uint8_t>(e.length + 1), e.runLast,
                                    static_cast<std::uint8_t>(2 * e.level + sign), 0};
    };
    t->interSigned[i] = entry(inter);
    t->intraSigned[i] = entry(intra);
  }
  return tables;
}

// Derived from the code table itself so they cannot disagree.
constexpr CoefficientLimits BuildLimits() {
  CoefficientLimits limits{};
  CoefficientLimits* l = &limits;
  for (const auto& c : kCoefficients) {
    const int entries[2][3] = {{c.interLast, c.interRun, c.interLevel},
                               {c.intraLast, c.intraRun, c.intraLevel}};
    for (int intra = 0; intra < 2; ++intra) {
      const int last = entries[intra][0], run = entries[intra][1], level = entries[intra][2];
      auto& ml = l->maxLevel[intra][last][run];
      if (level > ml) ml = static_cast<std::uint8_t>(level);
      auto& mr = l->maxRun[intra][last][level];
      if (run + 1 > mr) mr = static_cast<std::uint8_t>(run + 1);  // stored +1: 0 means absent
    }
  }
  return limits;
}

}  // namespace

// Built by the compiler: no first-use check on the decoding paths.
constinit const VlcTables kVlcTables = Build();

constinit const CoefficientLimits kCoefficientLimits = BuildLimits();

}  // namespace mivora::decoder
