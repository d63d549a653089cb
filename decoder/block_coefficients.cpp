#include "decoder/block_coefficients.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "decoder/coefficient_values.h"
#include "decoder/dsp.h"
#include "decoder/quant_matrix.h"
#include "decoder/reversible_vlc.h"
#include "decoder/scan_tables.h"
#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr std::int16_t kNoPredictionDc = 1024;

// A decoded code as the loop wants it: run + 128 * last, the level as magnitude and sign mask
// (0 or -1), so that inverse quantisation is (magnitude * m + c) with the sign applied once, and
// the bits it takes, sign included. A zero level (only a fixed-length escape gives one) counts as
// negative: its product is -c.
struct Code {
  int runLast, magnitude, minus, length;  // runLast -1: invalid
};
constexpr Code kInvalidCode{-1, -1, 0, 0};

bool IsIntraMode(int mode) {
  return mode == 3 || mode == 4;
}

// Every code, escapes included, fits in 32 bits: the longest, the fixed-length escape, takes 30.
// So the readers below decode from one peek and tell how many bits to consume, and need no reader
// (which, passed by address, could no longer live in the caller's registers).

// The fixed-length escape form from the escape code's 32 bits: type 11, last 1, run 6, marker,
// level 12 (two's complement), marker. present: the bits are of that form.
constexpr int kFixedEscapeLength = kEscapeLength + 23;
struct FixedEscapeFields {
  bool present;
  unsigned runLast;
  int level;
};
[[gnu::always_inline]] inline FixedEscapeFields ReadFixedEscapeFields(std::uint32_t w) {
  w <<= kEscapeLength;
  return {(w >> 30) == 3, ((w >> 23) & 63) + kCoefficientLastRun * ((w >> 29) & 1),
          static_cast<std::int32_t>(w << 10) >> 20};
}

// The escape code's 32 bits: a fixed-length form (type 11), or a code whose level (type 0) or run
// (type 10) is offset by the table's largest for it.
[[gnu::always_inline]] inline Code DecodeEscape(std::uint32_t w, const CoefficientEntry* head,
                                                const CoefficientEntry* table, bool intra) {
  const FixedEscapeFields fixed = ReadFixedEscapeFields(w);
  if (fixed.present) {
    const int level = fixed.level;
    return {static_cast<int>(fixed.runLast), level < 0 ? -level : level, level <= 0 ? -1 : 0,
            kFixedEscapeLength};
  }
  w <<= kEscapeLength;
  const int typeLength = (w >> 31) ? 2 : 1;
  const std::uint32_t code = w << typeLength;
  CoefficientEntry e = head[code >> (32 - kCoefficientHeadBits)];
  if (!e.length) e = table[code >> (32 - kCoefficientBits)];
  // Invalid bits or another escape: the escape code itself is taken, as a reader of the codes one
  // by one would.
  if (e.flags & kCoefficientSpecial) return {-1, -1, 0, kEscapeLength};
  const int minus = static_cast<std::int32_t>(code << e.length) >> 31;
  const int last = e.runLast / kCoefficientLastRun;
  int level = e.level, run = e.runLast % kCoefficientLastRun;
  if (typeLength == 2) {
    run += MaxRun(intra, last, level) + 1;
  } else {
    level += MaxLevel(intra, last, run);
  }
  return {run + kCoefficientLastRun * last, level, minus,
          kEscapeLength + typeLength + e.length + 1};
}

// A code the first-level table does not give, from its first 32 bits: a longer one, the escape
// code, or bits that begin no code.
[[gnu::noinline]] Code DecodeLongCode(std::uint32_t w, const CoefficientEntry* head,
                                      const CoefficientEntry* table, bool intra) {
  const CoefficientEntry e = table[w >> (32 - kCoefficientBits)];
  if (e.flags & kCoefficientEscape) return DecodeEscape(w, head, table, intra);
  if (!e.length) return kInvalidCode;
  return {e.runLast, e.level, static_cast<std::int32_t>(w << e.length) >> 31, e.length + 1};
}

// One coefficient code with its escapes, read alone (the block loop has its own tables). head: the
// first-level table, table: the full one.
inline Code ReadEvent(BitReader& reader, const CoefficientEntry* head,
                      const CoefficientEntry* table, bool intra) {
  const std::uint32_t w = reader.ShowBits(32);
  const CoefficientEntry e = head[w >> (32 - kCoefficientHeadBits)];
  const Code code =
      (e.flags & kCoefficientSpecial)
          ? DecodeLongCode(w, head, table, intra)
          : Code{e.runLast, e.level, static_cast<std::int32_t>(w << e.length) >> 31, e.length + 1};
  reader.Consume(code.length);
  return code;
}

// What the coefficient loop needs for one macroblock's blocks of one kind.
struct CoefficientContext {
  const ValuedCoefficientEntry* first;
  const CoefficientEntry* head;   // for escapes
  const CoefficientEntry* table;  // for escapes
  int m, c;                       // inverse quantisation of escapes: |level| * m + c
  bool intra;
};

[[gnu::always_inline]] inline CoefficientContext MakeContext(const DecoderState& state,
                                                             bool intra) {
  const int q = state.picture.quantiser;
  const VlcTables& t = Tables();
  if (state.sequence.quantType) [[unlikely]] {
    // Levels as they stand; each block is weighed after its codes.
    return {RawLevelTable(intra),
            intra ? t.intraHead : t.interHead,
            intra ? t.intra : t.inter,
            1,
            0,
            intra};
  }
  return {ValuedCoefficientTable(q, intra),
          intra ? t.intraHead : t.interHead,
          intra ? t.intra : t.inter,
          2 * q,
          (q & 1) ? q : q - 1,
          intra};
}

// The fixed-length escape form, inverse-quantised as the context says.
struct FixedEscape {
  bool present;
  unsigned runLast;
  int value;
};
[[gnu::always_inline]] inline FixedEscape ReadFixedEscape(std::uint32_t w,
                                                          const CoefficientContext& x) {
  const FixedEscapeFields f = ReadFixedEscapeFields(w);
  const int minus = f.level <= 0 ? -1 : 0;  // a zero level counts as negative: its product is -c
  const int magnitude = f.level < 0 ? -f.level : f.level;
  return {f.present, f.runLast, ((magnitude * x.m + x.c) ^ minus) - minus};
}

enum class Step { kMore, kLast, kLost };

// The bits of the first of two codes a lookup gave (only a damaged stream needs them).
[[gnu::noinline]] int FirstLength(const CoefficientContext& x, std::uint32_t peek) {
  const VlcTables& t = Tables();
  return (x.intra ? t.intraSigned : t.interSigned)[peek].length;
}

// Stores the block's last code, or gives up on a run past the block's end (only a damaged stream
// has one): k is the previous code's scan position plus its step, which is 128 or more exactly
// for a last code. at: where the last code went.
[[gnu::always_inline]] inline Step EndBlock(std::int16_t* block, const std::uint8_t* scan,
                                            std::size_t k, int value, std::size_t& at) {
  if (k < kCoefficientLastRun) return Step::kLost;
  k -= kCoefficientLastRun;
  if (k > 63) return Step::kLost;
  block[scan[k]] = static_cast<std::int16_t>(value);
  at = k;
  return Step::kLast;
}

// One lookup of the block's loop: one or two codes stored inverse-quantised at their scan
// positions (wrapped, not saturated). at: the scan position of the code before (one below the
// block's first place at its start, wrapping). The window holds 13 bits or more on entry (a
// lookup takes at most 11 of them, a longer code and its sign 13); the escape code loads it again
// first. Positions are as wide as addresses so they index without widening.
[[gnu::always_inline]] inline Step ReadStep(BitReader& r, std::int16_t* block,
                                            const std::uint8_t* scan, std::size_t& at,
                                            const CoefficientContext& x,
                                            BitReader::Preload& preload) {
  const std::uint32_t peek = r.ShowBits(kSignedHeadBits);
  const ValuedCoefficientEntry* f = &x.first[peek];
  const unsigned length = f->length;
  if (length) [[likely]] {
    r.ConsumeInWindow(static_cast<int>(length));
    const std::size_t k = at + f->firstStep, last = at + f->steps;
    if (last > 63) [[unlikely]] {
      // Everything read again from the entry, so the common path keeps no copies for this one.
      const ValuedCoefficientEntry* e = f;
      asm("" : "+r"(e));
      const std::size_t first = at + e->firstStep;
      if (first > 63) {
        // Leaves the position after this code, as when it comes alone.
        if (e->steps != e->firstStep) {
          r.Rewind(e->length - FirstLength(x, static_cast<std::uint32_t>(e - x.first)));
        }
        return EndBlock(block, scan, first, e->value, at);
      }
      block[scan[first]] = e->value;
      return EndBlock(block, scan, at + e->steps, e->secondValue, at);
    }
    block[scan[k]] = f->value;
    // The second code, or the first once more.
    block[scan[last]] = f->secondValue;
    at = last;
    return Step::kMore;
  }
  // Longer than the first-level table covers, the escape code, or bits that begin no code: all
  // begin with five zeros.
  unsigned runLast;
  int value;
  const std::uint32_t bits = r.ShowBits(kLongCodeZeros + kLongCodeBits);
  const ValuedCoefficientEntry g = x.first[kValuedLongBase + (bits & ((1 << kLongCodeBits) - 1))];
  if (bits < (1u << kLongCodeBits) && g.length) {
    value = g.value;
    runLast = g.firstStep - 1u;
    // A full window again, and the loop's preload from here: the loop counts on 11 bits a lookup.
    r.Consume(g.length);
    preload = r.PreloadWindow();
  } else {
    constexpr int kEscapeCode = 3;  // 0000011
    if ((bits >> (kLongCodeZeros + kLongCodeBits - kEscapeLength)) != kEscapeCode) {
      return Step::kLost;  // bits that begin no code
    }
    r.TopUp();
    const std::uint32_t w = r.ShowBits(32);
    const ValuedCoefficientEntry e =
        x.first[kValuedEscapeBase +
                ((w >> (32 - kEscapeLength - kEscapeIndexBits)) & ((1 << kEscapeIndexBits) - 1))];
    // The fixed-length form is worked out beside the lookup and one of the two taken without a
    // branch: which form comes is as random as the levels.
    const FixedEscape fixed = ReadFixedEscape(w, x);
    if ((e.length | static_cast<unsigned>(fixed.present)) != 0) {
      value = e.length ? e.value : fixed.value;
      runLast = e.length ? e.firstStep - 1u : fixed.runLast;
      r.Consume(e.length ? e.length : kFixedEscapeLength);
    } else {
      const Code code = DecodeEscape(r.ShowBits(32), x.head, x.table, x.intra);
      r.Consume(code.length);
      if (code.runLast < 0) return Step::kLost;  // an invalid code after the escape
      runLast = static_cast<unsigned>(code.runLast);
      // The sign applied without a branch: it is random.
      value = ((code.magnitude * x.m + x.c) ^ code.minus) - code.minus;
    }
    preload = r.PreloadWindow();
  }
  const std::size_t k = at + 1 + runLast;
  if (k > 63) [[unlikely]] {
    return EndBlock(block, scan, k, value, at);
  }
  block[scan[k]] = static_cast<std::int16_t>(value);
  at = k;
  return Step::kMore;
}

// Reads the coefficient codes of one block into block at the given scan from position pos,
// inverse-quantised on the way. False when the stream position is lost (the block keeps what it
// has). The reader is the caller's local copy, so it stays in registers. Four lookups per load of
// the window, the load made before the fourth so that the next lookup need not wait for it: it
// then brings 64 - 7 - 11 = 46 bits from the position, three table lookups (11 bits at most each;
// a longer code and an escape load the window and the preload afresh) and the 13 bits a longer
// code peeks. Returns one past the scan position of the block's last code, -1 when the position is
// lost.
[[gnu::always_inline]] inline int ReadCoefficients(BitReader& r, std::int16_t* block,
                                                   const std::uint8_t* scan, unsigned pos,
                                                   const CoefficientContext& x) {
  static_assert(64 - 7 - kSignedHeadBits >= 3 * kSignedHeadBits + kCoefficientBits + 1);
  BitReader::Preload preload;
  std::size_t at = static_cast<std::size_t>(pos) - 1;
  Step s;
  for (;;) {
    s = ReadStep(r, block, scan, at, x, preload);
    if (s != Step::kMore) break;
    s = ReadStep(r, block, scan, at, x, preload);
    if (s != Step::kMore) break;
    s = ReadStep(r, block, scan, at, x, preload);
    if (s != Step::kMore) break;
    preload = r.PreloadWindow();
    s = ReadStep(r, block, scan, at, x, preload);
    if (s != Step::kMore) break;
    r.Install(preload);
  }
  r.TopUp();
  return s == Step::kLast ? static_cast<int>(at + 1) : -1;
}

// Every scan's first ten places lie in rows and columns 0..3, its eleventh outside them.
constexpr int kTopLeftPlaces = 10;
constexpr bool TopLeftPlacesHold(const std::uint8_t* scan) {
  for (int k = 0; k < kTopLeftPlaces; ++k)
    if ((scan[k] & 7) > 3 || scan[k] > 31) return false;
  return (scan[kTopLeftPlaces] & 7) > 3 || scan[kTopLeftPlaces] > 31;
}
static_assert(TopLeftPlacesHold(kZigzagScan) && TopLeftPlacesHold(kAlternateHorizontalScan) &&
              TopLeftPlacesHold(kAlternateVerticalScan));

// The extent of a block whose codes end before scan position `end` (-1: lost, anything).
inline BlockExtent ExtentBefore(int end) {
  if (end < 0 || end > kTopLeftPlaces) return BlockExtent::kAnywhere;
  return end <= 1 ? BlockExtent::kDc : BlockExtent::kTopLeft4x4;
}

// A neighbour's level at this block's quantiser, rounded half away from zero (a neighbour
// without a quantiser, outside the picture, has only zeros).
inline int RescaleLevel(int level, int from, int to) {
  if (from == to || from <= 0) return level;
  const int n = level * from, h = to >> 1;
  return n >= 0 ? (n + h) / to : (n - h) / to;
}

// AC prediction of quantised levels (the MPEG method keeps levels in the block): the neighbour's
// first row or column, rescaled to this block's quantiser.
[[gnu::noinline]] void PredictLevels(std::int16_t* block, const PredictionEntry& from,
                                     bool fromAbove, int quantiser) {
  for (int k = 0; k < 7; ++k) {
    const int p = RescaleLevel(fromAbove ? from.row[k] : from.column[k], from.quantiser, quantiser);
    std::int16_t& c = block[fromAbove ? 1 + k : 8 * (k + 1)];
    c = static_cast<std::int16_t>(c + p);
  }
}

// Without matrices the blocks hold inverse-quantised values, |F| = q (2 |L| + 1) - (q even), and
// the prediction entries keep them: AC prediction works on levels, so both sides go back to
// levels, add, and the sum is inverse-quantised again. Only predicted blocks pay for this.
inline int LevelOf(int value, int q) {
  const int a = (std::abs(value) + 1 - (q & 1)) / (2 * q);
  return value < 0 ? -a : a;
}
inline int ValueOf(int level, int q) {
  if (level == 0) return 0;
  const int a = q * (2 * std::abs(level) + 1) - 1 + (q & 1);
  return level < 0 ? -a : a;
}
[[gnu::noinline]] void PredictValues(std::int16_t* block, const PredictionEntry& from,
                                     bool fromAbove, int quantiser) {
  const int qn = from.quantiser > 0 ? from.quantiser : quantiser;
  for (int k = 0; k < 7; ++k) {
    const int p =
        RescaleLevel(LevelOf(fromAbove ? from.row[k] : from.column[k], qn), qn, quantiser);
    if (p == 0) continue;
    std::int16_t& c = block[fromAbove ? 1 + k : 8 * (k + 1)];
    c = static_cast<std::int16_t>(ValueOf(LevelOf(c, quantiser) + p, quantiser));
  }
}

// Where an intra macroblock's blocks keep the values their neighbours predict from, and the DC
// scalers, worked out once per macroblock. Neighbours sit at fixed distances from a block's own
// entry: left one before, above one row of the grid before.
struct IntraPlaces {
  PredictionEntry* self[6];
  std::ptrdiff_t columns[6];
  int scaler[6];

  explicit IntraPlaces(DecoderState& state) {
    const int q = state.picture.quantiser;
    PredictionEntry* luma = &state.luma.At(2 * state.mbX, 2 * state.mbY);
    const std::ptrdiff_t c = state.luma.columns;
    const int ls = DcScaler(q, true), cs = DcScaler(q, false);
    self[0] = luma;
    self[1] = luma + 1;
    self[2] = luma + c;
    self[3] = luma + c + 1;
    self[4] = &state.cb.At(state.mbX, state.mbY);
    self[5] = &state.cr.At(state.mbX, state.mbY);
    for (int i = 0; i < 4; ++i) {
      columns[i] = c;
      scaler[i] = ls;
    }
    columns[4] = state.cb.columns;
    columns[5] = state.cr.columns;
    scaler[4] = scaler[5] = cs;
  }
};

// One intra block: DC with its prediction, the coefficients, AC prediction, and the values its
// neighbours predict from. Leaves the block in state.block. kGivenDc: the DC differential was read
// before (a data-partitioned packet's first part) and is `givenDiff`. kReversible: the coefficients
// use the reversible codes. Returns the block's extent for the transform.
template <bool kGivenDc = false, bool kReversible = false>
[[gnu::always_inline]] inline BlockExtent IntraBlock(DecoderState& state, BitReader& r, int i,
                                                     bool coded, const CoefficientContext& x,
                                                     const IntraPlaces& places, int givenDiff = 0) {
  const bool luminance = i < 4;
  PredictionEntry* self = places.self[i];
  const PredictionEntry* left = self - 1;
  const PredictionEntry* above = self - places.columns[i];
  const PredictionEntry* aboveLeft = above - 1;
  std::int16_t* block = state.block;

  const int s = places.scaler[i];
  int diff = givenDiff;
  if constexpr (!kGivenDc) {
    if (!ReadDc(r, luminance, diff)) state.damaged = state.lost = true;
  }

  const int a = left->dc, b = aboveLeft->dc, c = above->dc;
  const bool fromAbove = std::abs(b - a) < std::abs(b - c);
  state.predictFromAbove = fromAbove;
  const int predictor = ScaledStoredPredictor(fromAbove ? above->dc : left->dc, s);
  const auto dc = static_cast<std::int16_t>(diff + predictor);
  block[0] = static_cast<std::int16_t>(dc * s);

  const bool acPredicted = state.acPredicted;
  const std::uint8_t* scan = kZigzagScan;
  if (state.picture.alternateScan) [[unlikely]] {
    scan = kAlternateVerticalScan;
  } else if (acPredicted) {
    scan = fromAbove ? kAlternateHorizontalScan : kAlternateVerticalScan;
  }
  int end = 1;
  if (coded && !state.lost) {
    if constexpr (kReversible) {
      end = ReadReversibleCoefficients(r, block, scan, 1, true, x.m, x.c);
    } else {
      end = ReadCoefficients(r, block, scan, 1, x);
    }
    if (end < 0) state.damaged = state.lost = true;
  }

  const bool mpeg = state.sequence.quantType != 0;
  if (acPredicted) {
    if (mpeg) [[unlikely]] {
      PredictLevels(block, fromAbove ? *above : *left, fromAbove, state.picture.quantiser);
    } else {
      PredictValues(block, fromAbove ? *above : *left, fromAbove, state.picture.quantiser);
    }
  }
  self->dc = block[0];
  self->quantiser = static_cast<std::int16_t>(state.picture.quantiser);
  std::memcpy(self->row, block + 1, sizeof self->row);
  // Written out: as a loop the compiler builds a slow shuffle sequence for the strided loads.
  std::int16_t* column = self->column;
  column[0] = block[8];
  column[1] = block[16];
  column[2] = block[24];
  column[3] = block[32];
  column[4] = block[40];
  column[5] = block[48];
  column[6] = block[56];
  if (mpeg) [[unlikely]] {
    // Mismatch control may change the last value.
    DequantiseIntraMpeg(block, state.sequence.matrices.intra, state.picture.quantiser);
    return BlockExtent::kAnywhere;
  }
  // A predicted first row or column reaches past rows and columns 0..3.
  return acPredicted ? BlockExtent::kAnywhere : ExtentBefore(end);
}

}  // namespace

CoefficientEvent ReadCoefficient(BitReader& reader, bool intra) {
  const VlcTables& t = Tables();
  const Code e = intra ? ReadEvent(reader, t.intraHead, t.intra, true)
                       : ReadEvent(reader, t.interHead, t.inter, false);
  if (e.runLast < 0) return {-1, -1, -1};
  return {e.runLast / kCoefficientLastRun, e.runLast % kCoefficientLastRun,
          e.minus ? -e.magnitude : e.magnitude};
}

void ClearNonIntraNeighbours(DecoderState& state) {
  const int x = state.mbX, y = state.mbY;
  const int bx = 2 * x, by = 2 * y;
  PredictionGrid* chroma[2] = {&state.cb, &state.cr};
  if (!IsIntraMode(state.Mode(x - 1, y - 1))) {
    state.luma.At(bx - 1, by - 1).dc = kNoPredictionDc;
    for (auto* g : chroma) g->At(x - 1, y - 1).dc = kNoPredictionDc;
  }
  if (!IsIntraMode(state.Mode(x - 1, y))) {
    PredictionEntry* entries[4] = {&state.luma.At(bx - 1, by), &state.luma.At(bx - 1, by + 1),
                                   &state.cb.At(x - 1, y), &state.cr.At(x - 1, y)};
    for (auto* e : entries) {
      e->dc = kNoPredictionDc;
      for (auto& v : e->column) v = 0;
    }
  }
  if (!IsIntraMode(state.Mode(x, y - 1))) {
    PredictionEntry* entries[4] = {&state.luma.At(bx, by - 1), &state.luma.At(bx + 1, by - 1),
                                   &state.cb.At(x, y - 1), &state.cr.At(x, y - 1)};
    for (auto* e : entries) {
      e->dc = kNoPredictionDc;
      for (auto& v : e->row) v = 0;
    }
  }
}

void DecodeIntraBlock(DecoderState& state, int i, bool coded) {
  BitReader r = state.reader;
  IntraBlock(state, r, i, coded, MakeContext(state, true), IntraPlaces(state));
  state.reader = r;
}

void DecodeInterBlock(DecoderState& state, int /*blockIndex*/) {
  BitReader r = state.reader;
  const std::uint8_t* scan = state.picture.alternateScan ? kAlternateVerticalScan : kZigzagScan;
  if (ReadCoefficients(r, state.block, scan, 0, MakeContext(state, false)) < 0) {
    state.damaged = state.lost = true;
  }
  if (state.sequence.quantType) [[unlikely]] {
    DequantiseInterMpeg(state.block, state.sequence.matrices.inter, state.picture.quantiser);
  }
  state.reader = r;
}

namespace {

// Where the macroblock's six blocks go in the current picture, worked out once per macroblock
// instead of once per block, with the kernel table looked up once too.
struct BlockTargets {
  std::uint8_t* dst[6];
  std::ptrdiff_t stride[6];
  const DecoderDsp& dsp;

  explicit BlockTargets(const DecoderState& state) : dsp(Dsp()) {
    const PictureStore& p = state.pictures;
    const std::ptrdiff_t s = p.stride, c = p.stride >> 1;
    std::uint8_t* y = p.current.y + 16 * state.mbY * s + 16 * state.mbX;
    // Field blocks: 0 and 1 the top field's (even) lines, 2 and 3 the bottom field's.
    const std::ptrdiff_t down = state.dctType ? s : 8 * s;
    dst[0] = y;
    dst[1] = y + 8;
    dst[2] = y + down;
    dst[3] = y + down + 8;
    dst[4] = p.current.u + 8 * state.mbY * c + 8 * state.mbX;
    dst[5] = p.current.v + 8 * state.mbY * c + 8 * state.mbX;
    for (int i = 0; i < 6; ++i) stride[i] = i < 4 ? (state.dctType ? 2 * s : s) : c;
  }
};

}  // namespace

// The macroblock's blocks with the reader in a local copy throughout (the transform never sees
// it), so the window stays in registers from block to block.
void DecodeIntraBlocks(DecoderState& state, int cbp) {
  const CoefficientContext x = MakeContext(state, true);
  const BlockTargets targets(state);
  const IntraPlaces places(state);
  BitReader r = state.reader;
  for (int i = 0; i < 6; ++i) {
    const BlockExtent extent = IntraBlock(state, r, i, (cbp >> (5 - i)) & 1, x, places);
    targets.dsp.idctPutIn(state.block, targets.dst[i], targets.stride[i], extent);
  }
  state.reader = r;
}

namespace {

template <bool kReversible>
[[gnu::always_inline]] inline void IntraBlocksWithDc(DecoderState& state, int cbp,
                                                     const int dcDiff[6]) {
  const CoefficientContext x = MakeContext(state, true);
  const BlockTargets targets(state);
  const IntraPlaces places(state);
  BitReader r = state.reader;
  for (int i = 0; i < 6; ++i) {
    const BlockExtent extent =
        IntraBlock<true, kReversible>(state, r, i, (cbp >> (5 - i)) & 1, x, places, dcDiff[i]);
    targets.dsp.idctPutIn(state.block, targets.dst[i], targets.stride[i], extent);
  }
  state.reader = r;
}

template <bool kReversible>
[[gnu::always_inline]] inline void InterBlocks(DecoderState& state, int cbp) {
  const CoefficientContext x = MakeContext(state, false);
  const std::uint8_t* scan = state.picture.alternateScan ? kAlternateVerticalScan : kZigzagScan;
  const BlockTargets targets(state);
  BitReader r = state.reader;
  for (int i = 0; i < 6; ++i) {
    if (!((cbp >> (5 - i)) & 1)) continue;
    int end;
    if constexpr (kReversible) {
      end = ReadReversibleCoefficients(r, state.block, scan, 0, false, x.m, x.c);
    } else {
      end = ReadCoefficients(r, state.block, scan, 0, x);
    }
    BlockExtent extent = ExtentBefore(end);
    if (state.sequence.quantType) [[unlikely]] {
      DequantiseInterMpeg(state.block, state.sequence.matrices.inter, state.picture.quantiser);
      extent = BlockExtent::kAnywhere;  // mismatch control may change the last value
    }
    // A damaged block is still added (it keeps what it had), then the macroblock ends.
    targets.dsp.idctAddIn(state.block, targets.dst[i], targets.stride[i], extent);
    if (end < 0) {
      state.damaged = state.lost = true;
      break;
    }
  }
  state.reader = r;
}

}  // namespace

void DecodeIntraBlocksWithDc(DecoderState& state, int cbp, const int dcDiff[6], bool reversible) {
  if (reversible) {
    IntraBlocksWithDc<true>(state, cbp, dcDiff);
  } else {
    IntraBlocksWithDc<false>(state, cbp, dcDiff);
  }
}

void DecodeInterBlocks(DecoderState& state, int cbp) {
  InterBlocks<false>(state, cbp);
}

void DecodeReversibleInterBlocks(DecoderState& state, int cbp) {
  InterBlocks<true>(state, cbp);
}

}  // namespace mivora::decoder
