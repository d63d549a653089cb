#include "decoder/video_packet.h"

#include <algorithm>

#include "decoder/headers.h"

namespace mivora::decoder {
namespace {

constexpr std::int16_t kNoPredictionDc = 1024;

void ClearEntry(PredictionEntry& e) {
  e = PredictionEntry{};
  e.dc = kNoPredictionDc;
}

}  // namespace

int MacroblockNumberBits(int mbCount) {
  int bits = 1;
  while (bits < 31 && (1 << bits) < mbCount) ++bits;
  return bits;
}

int ReadVideoPacketHeader(DecoderState& state, int markerZeros) {
  BitReader& r = state.reader;
  r.Consume(markerZeros + 1);
  const int number = static_cast<int>(r.GetBits(MacroblockNumberBits(state.mbCount)));
  const int quantiser = static_cast<int>(r.GetBits(state.sequence.quantPrecision));
  if (r.GetBit()) {  // header_extension_code: the picture header's fields again
    int timeBase = 0;
    while (r.GetBit() && !r.PastEnd() && ++timeBase < 64) {
    }
    r.SkipBits(1);
    r.SkipBits(TimeIncrementBits(state.sequence.timeResolution));
    r.SkipBits(1);
    const int type = static_cast<int>(r.GetBits(2));
    r.SkipBits(3);  // intra_dc_vlc_thr
    // An S picture's warping points again, ahead of the fcode; the picture header's stand.
    if (type == kGlobalMotionPicture && state.sequence.spriteEnable == kGlobalMotionSprite) {
      int warping[3][2];
      ReadWarpingPoints(r, state.sequence.warpingPoints, warping);
    }
    if (type != 0) r.SkipBits(3);  // vop_fcode_forward
    if (type == 2) r.SkipBits(3);  // vop_fcode_backward
    // A packet that names another picture type belongs to no picture we are decoding.
    if (type != state.picture.pictureType) return -1;
  }
  if (number >= state.mbCount || quantiser == 0 || r.PastEnd()) return -1;
  state.picture.quantiser = quantiser;
  return number;
}

ResyncPoint FindResyncPoint(BitReader& r, std::size_t from, int markerZeros) {
  const std::size_t size = r.Size();
  for (std::size_t byte = (from + 7) / 8; byte + 3 <= size; ++byte) {
    const std::uint8_t* p = r.Data() + byte;
    if (p[0] != 0 || p[1] != 0) continue;  // both codes begin with 16 zero bits
    r.SeekToBit(8 * byte);
    const std::uint32_t w = r.ShowBits(32);
    if ((w >> 8) == 1) return ResyncPoint::StartCode;
    if ((w >> (31 - markerZeros)) == 1) return ResyncPoint::Marker;
  }
  r.SeekToBit(8 * size);
  return ResyncPoint::End;
}

void BeginVideoPacket(DecoderState& state, int first) {
  state.packetStart = first;
  // Every macroblock from one row and one column back may be a neighbour of this packet's; those
  // cleared for an earlier packet of the picture stay cleared (short packets overlap most).
  const int w = state.mbWidth;
  const int from = std::max({first - w - 1, state.clearedUpTo, 0});
  state.clearedUpTo = std::max(state.clearedUpTo, first);
  for (int i = from; i < first; ++i) {
    const int x = i % w, y = i / w;
    for (int k = 0; k < 4; ++k) ClearEntry(state.luma.At(2 * x + (k & 1), 2 * y + (k >> 1)));
    ClearEntry(state.cb.At(x, y));
    ClearEntry(state.cr.At(x, y));
  }
}

}  // namespace mivora::decoder
