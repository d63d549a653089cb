#include "decoder/b_picture.h"

#include <algorithm>

#include "decoder/block_coefficients.h"
#include "decoder/field_macroblock.h"
#include "decoder/macroblock.h"
#include "decoder/motion_compensation.h"
#include "decoder/video_packet.h"

namespace mivora::decoder {
namespace {

enum BType { kDirect, kInterpolated, kBackward, kForward, kInvalidBType };

// 1 direct, 01 interpolated, 001 backward, 0001 forward.
inline int ReadBType(BitReader& r) {
  const std::uint32_t v = r.ShowBits(4);
  if (v >= 8) return r.Consume(1), kDirect;
  if (v >= 4) return r.Consume(2), kInterpolated;
  if (v >= 2) return r.Consume(3), kBackward;
  if (v == 1) return r.Consume(4), kForward;
  return kInvalidBType;
}

// One per field, so that field vectors predict from the same field's; a frame vector sets both.
struct Predictors {
  MotionVector forward[2]{}, backward[2]{};
};

void CopyForward(DecoderState& state, const BReferences& refs, int x, int y) {
  static constexpr MotionVector kZero[4] = {};
  PredictMacroblock(state.pictures, refs.forward, state.pictures.current, x, y, 0, kZero, 0);
}

// Both halves of a bidirectional prediction: forward into the picture, then backward averaged
// into it.
void PredictBoth(DecoderState& state, const BReferences& refs, int mode,
                 const MotionVector forward[4], const MotionVector backward[4]) {
  PictureStore& p = state.pictures;
  const int x = state.mbX, y = state.mbY;
  PredictMacroblock(p, refs.forward, p.current, x, y, mode, forward, 0);
  PredictMacroblockAveraged(p, refs.backward, p.current, x, y, mode, backward, 0);
}

void PredictFieldsBoth(DecoderState& state, const BReferences& refs, const FieldVectors& forward,
                       const FieldVectors& backward) {
  PictureStore& p = state.pictures;
  const int x = state.mbX, y = state.mbY;
  PredictFieldMacroblock(p, refs.forward, p.current, x, y, forward, 0);
  PredictFieldMacroblock(p, refs.backward, p.current, x, y, backward, 0, true);
}

bool ReadFrameVector(BitReader& r, int fcode, MotionVector predictors[2], MotionVector& v) {
  if (!ReadVector(r, fcode, predictors[0], v)) return false;
  predictors[0] = predictors[1] = v;
  return true;
}

// Forward, backward or interpolated prediction by field vectors.
bool DecodeFieldB(DecoderState& state, const BReferences& refs, Predictors& pred, int type,
                  const std::uint8_t selects[4]) {
  BitReader& r = state.reader;
  PictureStore& p = state.pictures;
  FieldVectors forward{}, backward{};
  if (type != kBackward &&
      !ReadFieldVectors(r, state.picture.fcode, pred.forward, selects, forward))
    return false;
  if (type != kForward &&
      !ReadFieldVectors(r, state.picture.fcodeBackward, pred.backward, selects + 2, backward))
    return false;
  if (type == kForward) {
    PredictFieldMacroblock(p, refs.forward, p.current, state.mbX, state.mbY, forward, 0);
  } else if (type == kBackward) {
    PredictFieldMacroblock(p, refs.backward, p.current, state.mbX, state.mbY, backward, 0);
  } else {
    PredictFieldsBoth(state, refs, forward, backward);
  }
  return true;
}

bool DecodeBMacroblock(DecoderState& state, const BReferences& refs, Predictors& pred) {
  const int x = state.mbX, y = state.mbY;
  BitReader& r = state.reader;
  int type = kDirect, cbp = 0;
  bool deltaCoded = false;
  if (!r.GetBit()) {
    const bool noPattern = r.GetBit();
    type = ReadBType(r);
    if (type == kInvalidBType) return false;
    deltaCoded = type == kDirect;
    if (!noPattern) cbp = static_cast<int>(r.GetBits(6));
    if (type != kDirect && cbp != 0 && r.GetBit()) {
      const int step = r.GetBit() ? 2 : -2;
      state.picture.quantiser = std::clamp(state.picture.quantiser + step, 1, 31);
    }
  }
  state.dctType = 0;
  bool field = false;
  std::uint8_t selects[4] = {};
  if (state.sequence.interlaced) [[unlikely]] {
    field = ReadInterlacedFields(state, cbp != 0, type != kDirect, type != kBackward,
                                 type != kForward, selects);
  }
  PictureStore& p = state.pictures;
  MotionVector forward[4], backward[4];
  const int index = y * state.mbWidth + x;
  if (field) [[unlikely]] {
    if (!DecodeFieldB(state, refs, pred, type, selects)) return false;
  } else {
    switch (type) {
      case kForward:
        if (!ReadFrameVector(r, state.picture.fcode, pred.forward, forward[0])) return false;
        PredictMacroblock(p, refs.forward, p.current, x, y, 0, forward, 0);
        break;
      case kBackward:
        if (!ReadFrameVector(r, state.picture.fcodeBackward, pred.backward, backward[0]))
          return false;
        PredictMacroblock(p, refs.backward, p.current, x, y, 0, backward, 0);
        break;
      case kInterpolated:
        if (!ReadFrameVector(r, state.picture.fcode, pred.forward, forward[0])) return false;
        if (!ReadFrameVector(r, state.picture.fcodeBackward, pred.backward, backward[0]))
          return false;
        PredictBoth(state, refs, 0, forward, backward);
        break;
      default: {
        MotionVector delta{0, 0};
        if (deltaCoded && !ReadVector(r, 1, MotionVector{0, 0}, delta)) return false;
        if (!refs.backwardIntra && state.sequence.interlaced && state.fieldPredicted[index]) {
          FieldVectors f, b;
          DirectFieldVectors(state.fieldMotion[index], delta, refs.trb, refs.trd,
                             state.picture.topFieldFirst != 0, f, b);
          PredictFieldsBoth(state, refs, f, b);
          break;
        }
        static constexpr MotionVector kZero[4] = {};
        const MotionVector* colocated = refs.backwardIntra ? kZero : state.Vectors(x, y);
        // Block by block where the co-located macroblock had four vectors, else as one (whose
        // vector all four entries hold).
        const bool four = !refs.backwardIntra && state.Mode(x, y) == 2;
        for (int i = 0; i < (four ? 4 : 1); ++i)
          DirectVectors(colocated[i], delta, refs.trb, refs.trd, forward[i], backward[i]);
        PredictBoth(state, refs, four ? 2 : 0, forward, backward);
        break;
      }
    }
  }
  if (cbp != 0) DecodeInterBlocks(state, cbp);
  return !state.lost;
}

void ConcealB(DecoderState& state, const BReferences& refs, int first, int last) {
  const int w = state.mbWidth;
  last = std::min(last, state.mbCount);
  for (int i = first; i < last; ++i) CopyForward(state, refs, i % w, i / w);
  if (last > first) {
    state.concealed += last - first;
    state.damaged = true;
  }
  state.mbIndex = std::max(first, last);
  state.mbX = state.mbIndex % w;
  state.mbY = state.mbIndex / w;
}

// From the bit `from` on, the next packet whose header reads soundly and starts at or after
// macroblock `lostFrom`; the macroblocks in between are concealed. False when none follows.
bool ResynchroniseB(DecoderState& state, const BReferences& refs, std::size_t from, int lostFrom,
                    int markerZeros) {
  BitReader& r = state.reader;
  while (FindResyncPoint(r, from, markerZeros) == ResyncPoint::Marker) {
    const std::size_t marker = r.BitsConsumed();
    const int first = ReadVideoPacketHeader(state, markerZeros);
    if (first >= lostFrom) {
      ConcealB(state, refs, lostFrom, first);
      state.packetStart = first;
      state.lost = false;
      return true;
    }
    from = marker + 8;
  }
  ConcealB(state, refs, lostFrom, state.mbCount);
  return false;
}

}  // namespace

void DirectVectors(MotionVector colocated, MotionVector delta, int trb, int trd,
                   MotionVector& forward, MotionVector& backward) {
  auto component = [&](int c, int d, std::int16_t& f, std::int16_t& b) {
    const int fv = trb * c / trd + d;
    f = static_cast<std::int16_t>(fv);
    b = static_cast<std::int16_t>(d == 0 ? (trb - trd) * c / trd : fv - c);
  };
  component(colocated.x, delta.x, forward.x, backward.x);
  component(colocated.y, delta.y, forward.y, backward.y);
}

bool DecodeBPicture(DecoderState& state, const BReferences& refs) {
  state.mbIndex = state.mbX = state.mbY = 0;
  state.packetStart = 0;
  state.concealed = 0;
  BitReader& r = state.reader;
  const bool resyncPossible = !state.sequence.resyncMarkerDisable;
  const int markerZeros = BResyncMarkerZeros(state.picture.fcode, state.picture.fcodeBackward);
  Predictors pred;
  std::size_t packetBit = r.BitsConsumed();
  int read = 0;  // macroblocks up to the last one that had bits
  while (state.mbIndex < state.mbCount) {
    if (state.mbX == 0) pred = Predictors{};
    // Macroblocks not coded in the newer reference have no bits at all: they may come after the
    // picture's last bit or in front of a packet's marker.
    if (!refs.backwardIntra && state.Mode(state.mbX, state.mbY) == kNotCodedMode) {
      CopyForward(state, refs, state.mbX, state.mbY);
      ++state.mbIndex;
      AdvanceMacroblock(state);
      continue;
    }
    if (state.mbIndex > 0 && r.ZerosAfterStuffing()) {
      if (r.StuffedStartCodeAhead()) {
        state.damaged = true;  // the picture's data ends before its last macroblock
        break;
      }
      if (resyncPossible && r.ResyncMarkerAhead(markerZeros)) {
        SkipStuffing(r);
        const std::size_t marker = r.BitsConsumed();
        const int first = ReadVideoPacketHeader(state, markerZeros);
        if (first < read) {
          state.damaged = true;
          if (!ResynchroniseB(state, refs, marker + 8, state.mbIndex, markerZeros)) break;
        } else if (first > state.mbIndex) {
          ConcealB(state, refs, state.mbIndex, first);  // lost with a packet in between
        } else {
          state.mbIndex = first;  // before it, only macroblocks without bits
          state.mbX = first % state.mbWidth;
          state.mbY = first / state.mbWidth;
        }
        state.packetStart = state.mbIndex;
        packetBit = r.BitsConsumed();
        pred = Predictors{};
        continue;
      }
    }
    if (!DecodeBMacroblock(state, refs, pred)) [[unlikely]] {
      if (state.unsupported) return false;
      state.damaged = true;
      if (!resyncPossible || !state.packetConcealment) break;
      const int lostFrom = std::max(state.packetStart, state.mbIndex - state.mbWidth);
      if (!ResynchroniseB(state, refs, packetBit, lostFrom, markerZeros)) break;
      packetBit = r.BitsConsumed();
      pred = Predictors{};
      read = state.mbIndex;
      continue;
    }
    ++state.mbIndex;
    read = state.mbIndex;
    AdvanceMacroblock(state);
  }
  if (r.PastEnd()) state.damaged = true;
  ConcealB(state, refs, state.mbIndex, state.mbCount);
  return true;
}

}  // namespace mivora::decoder
