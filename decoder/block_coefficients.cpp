#include "decoder/block_coefficients.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "decoder/scan_tables.h"
#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr std::int16_t kNoPredictionDc = 1024;
constexpr CoefficientEvent kInvalidEvent{-1, -1, -1};

bool IsIntraMode(int mode) {
  return mode == 3 || mode == 4;
}

// Codes the first-level table leaves out: codes longer than it covers, the escape code and its
// three forms, or bits that begin no code; kept off the decoding loop. table: the full table.
[[gnu::noinline]] CoefficientEvent ReadSpecial(BitReader& reader, const CoefficientEntry* table,
                                               bool intra) {
  CoefficientEntry e = table[reader.ShowBits(kCoefficientBits)];
  if (!e.length) return kInvalidEvent;
  if (!(e.flags & kCoefficientEscape)) {
    const bool negative = (reader.ShowBits(32) << e.length) >> 31;
    reader.Consume(e.length + 1);
    return {e.flags & kCoefficientLast, e.run, negative ? -e.level : e.level};
  }
  reader.Consume(e.length);
  const std::uint32_t type = reader.ShowBits(2);
  if (type == 3) {
    // last 1, run 6, marker, level 12 (two's complement), marker.
    const std::uint32_t v = reader.ShowBits(23);
    reader.Consume(23);
    const int last = static_cast<int>((v >> 20) & 1);
    const int run = static_cast<int>((v >> 14) & 63);
    int level = static_cast<int>((v >> 1) & 0xFFF);
    if (level & 0x800) level -= 0x1000;
    return {last, run, level};
  }
  reader.Consume(type == 2 ? 2 : 1);
  e = table[reader.ShowBits(kCoefficientBits)];
  if (e.flags & kCoefficientSpecial) return kInvalidEvent;
  reader.Consume(e.length);
  const int last = e.flags & kCoefficientLast;
  int level = e.level, run = e.run;
  if (type == 2) {
    run += MaxRun(intra, last, level) + 1;
  } else {
    level += MaxLevel(intra, last, run);
  }
  const int sign = reader.GetBit();
  return {last, run, sign ? -level : level};
}

// One coefficient code with its escapes, from the given first-level and full tables.
inline CoefficientEvent ReadEvent(BitReader& reader, const CoefficientEntry* head,
                                  const CoefficientEntry* table, bool intra) {
  const std::uint32_t w = reader.ShowBits(32);
  const CoefficientEntry e = head[w >> (32 - kCoefficientHeadBits)];
  if (e.flags & kCoefficientSpecial) return ReadSpecial(reader, table, intra);
  const bool negative = (w << e.length) >> 31;
  reader.Consume(e.length + 1);
  return {e.flags & kCoefficientLast, e.run, negative ? -e.level : e.level};
}

// Reads the coefficient codes of one block into state.block at the given scan from position pos,
// inverse-quantised on the way.
void ReadCoefficients(DecoderState& state, const std::uint8_t* scan, int pos, bool intra) {
  const int q = state.picture.quantiser;
  const int m = 2 * q;
  const int c = (q & 1) ? q : q - 1;
  const VlcTables& tables = Tables();
  const CoefficientEntry* head = intra ? tables.intraHead : tables.interHead;
  const CoefficientEntry* table = intra ? tables.intra : tables.inter;
  std::int16_t* block = state.block;
  // A local copy whose address never escapes keeps the window in registers; the rare escape path
  // works on a copy of its own.
  BitReader r = state.reader;
  for (;;) {
    const std::uint32_t w = r.ShowBits(32);
    CoefficientEntry e = head[w >> (32 - kCoefficientHeadBits)];
    // Codes longer than the first-level table covers: from the full table, still inline.
    if (e.flags & kCoefficientSpecial) [[unlikely]] {
      if (!e.length) e = table[w >> (32 - kCoefficientBits)];
    }
    int run, value, last;
    if (__builtin_expect(!(e.flags & kCoefficientSpecial), 1)) {
      // The sign bit follows the code word: already in the peeked bits.
      const bool negative = (w << e.length) >> 31;
      r.Consume(e.length + 1);
      run = e.run;
      last = e.flags & kCoefficientLast;
      const int magnitude = e.level * m + c;
      value = negative ? -magnitude : magnitude;
    } else {
      BitReader escaped = r;
      const CoefficientEvent ev = ReadSpecial(escaped, table, intra);
      r = escaped;
      if (ev.last < 0) {
        // An invalid code: the stream position is lost; the block keeps what it has.
        state.damaged = state.lost = true;
        break;
      }
      run = ev.run;
      last = ev.last;
      value = ev.level > 0 ? ev.level * m + c : ev.level * m - c;
    }
    const int k = pos + run;
    if (k > 63) {
      // Past the end of the block: only a damaged stream does this; the block ends here.
      state.damaged = state.lost = true;
      break;
    }
    block[scan[k]] = static_cast<std::int16_t>(value);  // wraps, not saturated
    pos = k + 1;
    if (last) break;
  }
  state.reader = r;
}

}  // namespace

CoefficientEvent ReadCoefficient(BitReader& reader, bool intra) {
  const VlcTables& t = Tables();
  return intra ? ReadEvent(reader, t.intraHead, t.intra, true)
               : ReadEvent(reader, t.interHead, t.inter, false);
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
  const bool luminance = i < 4;
  PredictionGrid& grid = luminance ? state.luma : (i == 4 ? state.cb : state.cr);
  const int bx = luminance ? 2 * state.mbX + (i & 1) : state.mbX;
  const int by = luminance ? 2 * state.mbY + (i >> 1) : state.mbY;
  // The neighbours sit at fixed distances from the block's own entry.
  PredictionEntry* self = &grid.At(bx, by);
  const PredictionEntry* left = self - 1;
  const PredictionEntry* above = self - grid.columns;
  const PredictionEntry* aboveLeft = above - 1;
  std::int16_t* block = state.block;

  const int s = DcScaler(state.picture.quantiser, luminance);
  const int size = ReadDcSize(state.reader, luminance);
  int diff = 0;
  if (size < 0) {
    state.damaged = state.lost = true;
  } else {
    diff = ReadDcDifferential(state.reader, size);
  }

  const int a = left->dc, b = aboveLeft->dc, c = above->dc;
  state.predictFromAbove = std::abs(b - a) < std::abs(b - c);
  const int predictor = ScaledPredictor(state.predictFromAbove ? c : a, s);
  const auto dc = static_cast<std::int16_t>(diff + predictor);
  block[0] = static_cast<std::int16_t>(dc * s);

  const std::uint8_t* scan = kZigzagScan;
  if (state.acPredicted) {
    scan = state.predictFromAbove ? kAlternateHorizontalScan : kAlternateVerticalScan;
  }
  if (coded && !state.lost) ReadCoefficients(state, scan, 1, true);

  if (state.acPredicted) {
    if (state.predictFromAbove) {
      for (int k = 0; k < 7; ++k)
        block[1 + k] = static_cast<std::int16_t>(block[1 + k] + above->row[k]);
    } else {
      for (int k = 0; k < 7; ++k) {
        block[8 * (k + 1)] = static_cast<std::int16_t>(block[8 * (k + 1)] + left->column[k]);
      }
    }
  }
  self->dc = block[0];
  std::memcpy(self->row, block + 1, sizeof self->row);
  for (int k = 0; k < 7; ++k) self->column[k] = block[8 * (k + 1)];
}

void DecodeInterBlock(DecoderState& state, int /*blockIndex*/) {
  ReadCoefficients(state, kZigzagScan, 0, false);
}

}  // namespace mivora::decoder
