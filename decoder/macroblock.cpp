#include "decoder/macroblock.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "decoder/block_coefficients.h"
#include "decoder/field_macroblock.h"
#include "decoder/global_motion.h"
#include "decoder/vlc_tables.h"

namespace mivora::decoder {
namespace {

constexpr int kQuantiserStep[4] = {-1, -2, 1, 2};

inline int Median(int a, int b, int c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

inline MotionVector Median(MotionVector a, MotionVector b, MotionVector c) {
  return {static_cast<std::int16_t>(Median(a.x, b.x, c.x)),
          static_cast<std::int16_t>(Median(a.y, b.y, c.y))};
}

void ChangeQuantiser(DecoderState& state) {
  const int step = kQuantiserStep[state.reader.GetBits(2)];
  state.picture.quantiser = std::clamp(state.picture.quantiser + step, 1, 31);
}

// Inline forms of the code readers for the macroblock loop; the public ones call them.
inline int McbpcCode(BitReader& reader, int pictureType) {
  const VlcTables& t = Tables();
  const VlcEntry e = (pictureType == 0 ? t.mcbpcI : t.mcbpcP)[reader.ShowBits(kMcbpcBits)];
  if (!e.length) return kInvalidCode;
  reader.Consume(e.length);
  return e.value == kMcbpcStuffing ? kStuffing : e.value;
}

inline int CbpyCode(BitReader& reader) {
  const VlcEntry e = Tables().cbpy[reader.ShowBits(kCbpyBits)];
  if (!e.length) return kInvalidCode;
  reader.Consume(e.length);
  return e.value;
}

// kInWindow: taken from the window without loading it again.
template <bool kInWindow = false>
inline int MotionCode(BitReader& reader) {
  const VlcTables& t = Tables();
  const VlcEntry e = LookUp<kMotionHeadBits, kMotionBits>(t.motionHead, t.motion, reader);
  if (!e.length) return kInvalidMotionCode;
  if constexpr (kInWindow) {
    reader.ConsumeInWindow(e.length);
  } else {
    reader.Consume(e.length);
  }
  return e.value;
}

// Adds the fcode residual to a motion code and wraps the result into the vector range.
inline int VectorComponent(BitReader& reader, int fcode, int code, int predictor) {
  const int f = 1 << (fcode - 1);
  int diff = code;
  if (f != 1 && code != 0) {
    const int r = static_cast<int>(reader.ShowBits(fcode - 1));
    reader.ConsumeInWindow(fcode - 1);
    const int magnitude = (std::abs(code) - 1) * f + r + 1;
    diff = code < 0 ? -magnitude : magnitude;
  }
  const int low = -32 * f, high = 32 * f - 1, range = 64 * f;
  int v = predictor + diff;
  if (v < low) v += range;
  if (v > high) v -= range;
  return v;
}

}  // namespace

int ReadMcbpc(BitReader& reader, int pictureType) {
  return McbpcCode(reader, pictureType);
}

int ReadCbpy(BitReader& reader) {
  return CbpyCode(reader);
}

int ReadMotionCode(BitReader& reader) {
  return MotionCode(reader);
}

namespace {

// The predictor when some candidates lie outside the picture or in an earlier video packet (the
// first row of a packet): a candidate that is not available counts as zero, unless it is the only
// one available, which is then the predictor.
[[gnu::noinline]] MotionVector PredictVectorAtPacketEdge(DecoderState& state, int index) {
  const int x = state.mbX, y = state.mbY, w = state.mbWidth;
  const int i = y * w + x, start = state.packetStart;
  const bool hasLeft = x > 0 && i - 1 >= start;
  const bool hasAbove = y > 0 && i - w >= start;
  const bool hasAboveRight = y > 0 && x < w - 1 && i - w + 1 >= start;
  const MotionVector* self = state.Vectors(x, y);
  const MotionVector* left = self - 4;
  const MotionVector* above = self - 4 * state.mapColumns;
  const MotionVector* aboveRight = above + 4;
  MotionVector c[3];
  bool valid[3];
  switch (index) {
    case 1:
      c[0] = self[0], valid[0] = true;
      c[1] = above[3], valid[1] = hasAbove;
      c[2] = aboveRight[2], valid[2] = hasAboveRight;
      break;
    case 2:
      c[0] = left[3], valid[0] = hasLeft;
      c[1] = self[0], valid[1] = true;
      c[2] = self[1], valid[2] = true;
      break;
    case 3:
      return Median(self[2], self[1], self[0]);
    default:
      c[0] = left[1], valid[0] = hasLeft;
      c[1] = above[2], valid[1] = hasAbove;
      c[2] = aboveRight[2], valid[2] = hasAboveRight;
      break;
  }
  const int count = valid[0] + valid[1] + valid[2];
  if (count == 1) return valid[0] ? c[0] : valid[1] ? c[1] : c[2];
  for (int k = 0; k < 3; ++k)
    if (!valid[k]) c[k] = {0, 0};
  return Median(c[0], c[1], c[2]);
}

}  // namespace

MotionVector PredictVector(DecoderState& state, int index) {
  const int x = state.mbX, y = state.mbY;
  // In a packet after the picture's first, candidates before its start are not available. Above-
  // left of the macroblock still in the packet (or the first packet): every candidate inside the
  // picture is, and the map's zero border stands for those outside it.
  if (state.packetStart > 0 && (y - 1) * state.mbWidth + x - 1 < state.packetStart) [[unlikely]] {
    return PredictVectorAtPacketEdge(state, index);
  }
  // Neighbours at fixed distances in the map: four vectors per macroblock.
  const MotionVector* self = state.Vectors(x, y);
  const MotionVector* left = self - 4;
  const MotionVector* above = self - 4 * state.mapColumns;
  const MotionVector* aboveRight = above + 4;
  switch (index) {
    case 1:
      if (y == 0) return self[0];
      return Median(self[0], above[3], aboveRight[2]);
    case 2:
      return Median(left[3], self[0], self[1]);
    case 3:
      return Median(self[2], self[1], self[0]);
    default:
      if (y == 0) return x == 0 ? MotionVector{0, 0} : left[1];
      return Median(left[1], above[2], aboveRight[2]);
  }
}

bool ReadInterlacedFields(DecoderState& state, bool hasDctType, bool hasFieldPrediction,
                          bool forward, bool backward, std::uint8_t selects[4]) {
  BitReader& r = state.reader;
  state.dctType = hasDctType ? r.GetBit() : 0;
  if (!hasFieldPrediction || !r.GetBit()) return false;
  // Reference fields: top then bottom, forward (P pictures, and B ones but backward) first.
  if (forward) selects[0] = static_cast<std::uint8_t>(r.GetBit()), selects[1] = r.GetBit();
  if (backward) selects[2] = static_cast<std::uint8_t>(r.GetBit()), selects[3] = r.GetBit();
  return true;
}

namespace {

// Both components read from a local copy of the reader, whose window then stays in registers,
// and from one load of it: a component takes at most 13 + 6 bits.
static_assert(2 * (kMotionBits + 6) <= BitReader::kWindowBits);
[[gnu::always_inline]] inline bool ReadVectorHere(BitReader& reader, int fcode,
                                                  MotionVector predictor, MotionVector& vector) {
  BitReader r = reader;
  bool ok = false;
  const int codeX = MotionCode<true>(r);
  if (codeX != kInvalidMotionCode) {
    const int x = VectorComponent(r, fcode, codeX, predictor.x);
    const int codeY = MotionCode<true>(r);
    if (codeY != kInvalidMotionCode) {
      const int y = VectorComponent(r, fcode, codeY, predictor.y);
      // One store of both components (x first in memory): callers load the vector whole right
      // after, which two narrow stores would make wait for them to reach the cache.
      static_assert(std::endian::native == std::endian::little && sizeof vector == 4);
      const std::uint32_t both = static_cast<std::uint16_t>(x) | static_cast<std::uint32_t>(y)
                                                                     << 16;
      std::memcpy(&vector, &both, sizeof vector);
      ok = true;
    }
  }
  r.TopUp();
  reader = r;
  return ok;
}

}  // namespace

bool ReadVector(BitReader& r, int fcode, MotionVector predictor, MotionVector& vector) {
  return ReadVectorHere(r, fcode, predictor, vector);
}

bool DecodeVector(DecoderState& state, int index) {
  MotionVector v;
  if (!ReadVectorHere(state.reader, state.picture.fcode, PredictVector(state, index), v)) {
    return false;
  }
  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  if (index < 0) {
    for (int k = 0; k < 4; ++k) vectors[k] = v;
  } else {
    vectors[index] = v;
  }
  return true;
}

void CopyNotCodedMacroblock(DecoderState& state) {
  state.Mode(state.mbX, state.mbY) = kNotCodedMode;
  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  for (int k = 0; k < 4; ++k) vectors[k] = {0, 0};
  PredictMacroblock(state.pictures, state.mbX, state.mbY, 0, vectors, 0);
}

bool DecodeMacroblock(DecoderState& state) {
  BitReader& r = state.reader;
  const int pictureType = state.picture.pictureType;
  int mcbpc;
  for (;;) {
    if (pictureType != 0 && r.GetBit()) {
      if (pictureType == kGlobalMotionPicture) {
        GlobalMacroblock(state);
      } else {
        SkipMacroblock(state);
      }
      return true;
    }
    mcbpc = McbpcCode(r, pictureType);
    if (mcbpc != kStuffing) break;
    if (r.PastEnd()) return false;
  }
  if (mcbpc == kInvalidCode) {
    state.damaged = true;
    return false;
  }
  const int type = mcbpc & 7;
  const int cbpc = (mcbpc >> 4) & 3;
  state.mbType = type;
  state.Mode(state.mbX, state.mbY) = static_cast<std::uint8_t>(type);
  const bool intra = type == 3 || type == 4;
  const bool global = pictureType == kGlobalMotionPicture && type < 2 && r.GetBit();  // mcsel
  if (intra) state.acPredicted = r.GetBit();
  int cbpy = CbpyCode(r);
  if (cbpy == kInvalidCode) {
    state.damaged = true;
    return false;
  }
  if (!intra) cbpy = 15 - cbpy;
  const int cbp = cbpc | (cbpy << 2);
  state.cbp = cbp;
  if (type == 1 || type == 4) ChangeQuantiser(state);
  bool field = false;
  std::uint8_t selects[4] = {};
  if (state.sequence.interlaced) [[unlikely]] {
    field =
        ReadInterlacedFields(state, intra || cbp != 0, !intra && type != 2, true, false, selects);
  }

  MotionVector* vectors = state.Vectors(state.mbX, state.mbY);
  if (intra) {
    if (IntraDcWithCoefficients(state.picture, state.picture.quantiser)) {
      state.unsupported = "intra DC coded with the coefficients";
      return false;
    }
    if (pictureType != 0) {
      for (int k = 0; k < 4; ++k) vectors[k] = {0, 0};
      ClearNonIntraNeighbours(state);
    }
    DecodeIntraBlocks(state, cbp);
  } else if (global) [[unlikely]] {
    GlobalMacroblock(state);
    DecodeInterBlocks(state, cbp);
  } else if (field) [[unlikely]] {
    if (!DecodeFieldMacroblock(state, selects)) {
      state.damaged = true;
      return false;
    }
    DecodeInterBlocks(state, cbp);
  } else {
    const bool ok = type == 2 ? DecodeVector(state, 0) && DecodeVector(state, 1) &&
                                    DecodeVector(state, 2) && DecodeVector(state, 3)
                              : DecodeVector(state, -1);
    if (!ok) {
      // Bits that begin no motion code: the stream position is lost, and the picture loop
      // conceals this and the remaining macroblocks from the reference.
      state.damaged = true;
      return false;
    }
    PredictMacroblock(state.pictures, state.mbX, state.mbY, type, vectors,
                      state.picture.roundingType);
    DecodeInterBlocks(state, cbp);
  }
  return !state.lost;
}

}  // namespace mivora::decoder
