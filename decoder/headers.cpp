#include "decoder/headers.h"

namespace mivora::decoder {
namespace {

constexpr std::uint32_t kPictureStartCode = 0x1B6;
constexpr int kExtendedPixelAspectRatio = 15;

void Unsupported(DecoderState& state, const char* feature) {
  if (!state.sequence.unsupported) state.sequence.unsupported = feature;
}

// Fixed-size skip of the video buffering fields of vol_control_parameters.
void SkipBufferParameters(BitReader& r) {
  r.SkipBits(15 + 1 + 15 + 1);  // bit rate halves with markers
  r.SkipBits(15 + 1 + 3);       // buffer size halves with marker
  r.SkipBits(11 + 1 + 15 + 1);  // occupancy halves with markers
}

// dmv_length, the size of a warping point's difference: 00 for 0, three-bit codes 010..110 for 1
// to 5, then 1110 for 6 and one more leading one for each size up to 14.
int ReadWarpingLength(BitReader& r) {
  const std::uint32_t v = r.ShowBits(3);
  if (v < 2) return r.Consume(2), 0;
  if (v < 7) return r.Consume(3), static_cast<int>(v) - 1;
  r.Consume(3);
  int length = 6;
  while (length < 14 && r.GetBit()) ++length;
  if (length == 14) r.SkipBits(1);  // the longest code ends in a zero as well
  return length;
}

// One difference: its size, a sign-magnitude code like the DC differences (a leading zero makes
// it negative), and a marker bit.
int ReadWarpingDifference(BitReader& r) {
  const int length = ReadWarpingLength(r);
  int value = 0;
  if (length > 0) {
    value = static_cast<int>(r.GetBits(length));
    if (!(value >> (length - 1))) value -= (1 << length) - 1;
  }
  r.SkipBits(1);
  return value;
}

}  // namespace

void ReadWarpingPoints(BitReader& r, int points, int warping[3][2]) {
  for (int i = 0; i < 3; ++i) {
    const bool coded = i < points;
    warping[i][0] = coded ? ReadWarpingDifference(r) : 0;
    warping[i][1] = coded ? ReadWarpingDifference(r) : 0;
  }
}

int TimeIncrementBits(int timeResolution) {
  int n = 1;
  while (n < 16 && (1 << n) < timeResolution) ++n;
  return n;
}

bool ParseSequenceHeader(DecoderState& state) {
  BitReader& r = state.reader;
  if (r.ShowBits(27) != 8) return false;
  r.SkipBits(32);  // video object start code
  r.SkipBits(32);  // layer start code
  ParseLayerBody(state);
  return true;
}

void ParseLayerBody(DecoderState& state) {
  BitReader& r = state.reader;
  SequenceFields& s = state.sequence;
  s.unsupported = nullptr;
  r.SkipBits(1);  // random_accessible_vol
  s.objectType = static_cast<int>(r.GetBits(8));
  s.hasLayerId = r.GetBit();
  if (s.hasLayerId) {
    s.layerVersion = static_cast<int>(r.GetBits(4));
    s.layerPriority = static_cast<int>(r.GetBits(3));
  } else {
    s.layerVersion = 1;
    s.layerPriority = 1;
  }
  // Optional parts that today's encoders write are read; they change nothing we decode.
  if (static_cast<int>(r.GetBits(4)) == kExtendedPixelAspectRatio) r.SkipBits(8 + 8);
  s.lowDelay = -1;
  if (r.GetBit()) {  // vol_control_parameters
    r.SkipBits(2);   // chroma_format
    s.lowDelay = r.GetBit();
    if (r.GetBit()) SkipBufferParameters(r);
  }
  s.shape = static_cast<int>(r.GetBits(2));
  if (s.shape != 0) Unsupported(state, "non-rectangular shape");
  r.SkipBits(1);
  s.timeResolution = static_cast<int>(r.GetBits(16));
  r.SkipBits(1);
  if (r.GetBit()) r.SkipBits(TimeIncrementBits(s.timeResolution));  // fixed_vop_time_increment
  if (s.shape != 0) return;  // the rest of the layout differs; the layer is refused anyway
  r.SkipBits(1);
  s.width = static_cast<int>(r.GetBits(13));
  r.SkipBits(1);
  s.height = static_cast<int>(r.GetBits(13));
  r.SkipBits(1);
  // The pictures and macroblock maps are sized when the decoder is opened; a layer of another
  // size would be decoded into the wrong grid.
  if (state.open && (s.width != state.width || s.height != state.height)) {
    Unsupported(state, "picture size other than the opened one");
  }
  s.interlaced = r.GetBit();
  r.SkipBits(1);  // obmc_disable
  s.spriteEnable = static_cast<int>(r.GetBits(s.layerVersion == 1 ? 1 : 2));
  s.warpingPoints = 0;
  if (s.spriteEnable == kGlobalMotionSprite) {
    // Global motion compensation: no sprite of its own, only the warping of the reference.
    s.warpingPoints = static_cast<int>(r.GetBits(6));
    s.warpingAccuracy = static_cast<int>(r.GetBits(2));
    if (r.GetBit()) Unsupported(state, "sprite brightness change");
    if (s.warpingPoints > 3) Unsupported(state, "global motion with more than 3 warping points");
  } else if (s.spriteEnable) {
    Unsupported(state, "sprites");
    return;
  }
  if (r.GetBit()) {  // not_8_bit
    s.quantPrecision = static_cast<int>(r.GetBits(4));
    s.bitsPerPixel = static_cast<int>(r.GetBits(4));
    Unsupported(state, "not 8-bit samples");
  } else {
    s.quantPrecision = 5;
    s.bitsPerPixel = 8;
  }
  s.quantType = r.GetBit();
  if (s.quantType) ReadQuantMatrices(r, s.matrices);
  s.quarterSample = s.layerVersion != 1 ? r.GetBit() : 0;
  if (!r.GetBit()) {
    Unsupported(state, "complexity estimation");
    return;
  }
  s.resyncMarkerDisable = r.GetBit();
  s.dataPartitioned = r.GetBit();
  if (s.dataPartitioned && s.interlaced) Unsupported(state, "interlaced data partitioning");
  s.reversibleVlc = s.dataPartitioned ? r.GetBit() : 0;
  if (s.layerVersion != 1) {
    if (r.GetBit()) {
      Unsupported(state, "newpred");
      return;
    }
    if (r.GetBit()) Unsupported(state, "reduced resolution pictures");
  }
  s.scalability = r.GetBit();
  if (s.scalability) Unsupported(state, "scalability");
}

bool ParsePictureHeader(DecoderState& state) {
  BitReader& r = state.reader;
  r.AlignToByte();
  if (r.GetBits(32) != kPictureStartCode) return false;
  ParsePictureBody(state);
  return true;
}

void ParsePictureBody(DecoderState& state) {
  BitReader& r = state.reader;
  PictureFields& p = state.picture;
  p.pictureType = static_cast<int>(r.GetBits(2));
  const bool global = p.pictureType == 3;
  if (global && state.sequence.spriteEnable != kGlobalMotionSprite) {
    state.unsupported = "sprites";
    return;
  }
  p.moduloTimeBase = 0;
  while (r.GetBit() && !r.PastEnd()) ++p.moduloTimeBase;
  r.SkipBits(1);
  p.timeIncrement = static_cast<int>(r.GetBits(TimeIncrementBits(state.sequence.timeResolution)));
  r.SkipBits(1);
  p.pictureCoded = r.GetBit();
  if (!p.pictureCoded) {
    r.AlignToByte();
    return;
  }
  p.roundingType = p.pictureType == 1 || global ? r.GetBit() : 0;
  p.intraDcThreshold = static_cast<int>(r.GetBits(3));
  if (state.sequence.interlaced) {
    p.topFieldFirst = r.GetBit();
    p.alternateScan = r.GetBit();
  } else {
    p.alternateScan = 0;
  }
  if (global) ReadWarpingPoints(r, state.sequence.warpingPoints, p.warping);
  const int quantiser = static_cast<int>(r.GetBits(state.sequence.quantPrecision));
  // Zero is not a valid quantiser or fcode; keep decoding with the smallest valid one.
  if (quantiser == 0) state.damaged = true;
  p.quantiser = quantiser ? quantiser : 1;
  if (p.pictureType != 0) {
    const int fcode = static_cast<int>(r.GetBits(3));
    if (fcode == 0) state.damaged = true;
    p.fcode = fcode ? fcode : 1;
  }
  if (p.pictureType == 2) {
    const int fcode = static_cast<int>(r.GetBits(3));
    if (fcode == 0) state.damaged = true;
    p.fcodeBackward = fcode ? fcode : 1;
  }
}

HeaderResult ReadFrameHeaders(DecoderState& state) {
  BitReader& r = state.reader;
  if (r.ShowBits(22) == 0x20) {
    state.unsupported = "short video header";
    return HeaderResult::Unsupported;
  }
  for (;;) {
    // Next start code at a byte boundary; anything between headers (user data, group and
    // visual object fields, stuffing) is passed over.
    r.AlignToByte();
    while (r.ShowBits(24) != 1) {
      if (r.BytePosition() + 4 > r.Size()) return HeaderResult::NoPicture;
      r.SkipBits(8);
    }
    if (r.BytePosition() + 4 > r.Size()) return HeaderResult::NoPicture;
    const int code = static_cast<int>(r.GetBits(32) & 0xFF);
    if (code >= 0x20 && code <= 0x2F) {
      ParseLayerBody(state);
    } else if (code == (kPictureStartCode & 0xFF)) {
      if (state.sequence.unsupported) {
        state.unsupported = state.sequence.unsupported;
        return HeaderResult::Unsupported;
      }
      ParsePictureBody(state);
      return state.unsupported ? HeaderResult::Unsupported : HeaderResult::Picture;
    }
  }
}

bool NextPictureInChunk(DecoderState& state) {
  BitReader& r = state.reader;
  if (r.PastEnd()) return false;
  const std::size_t size = r.Size();
  std::size_t byte = (r.BitsConsumed() + 7) / 8;
  for (; byte + 5 <= size; ++byte) {
    const std::uint8_t* p = r.Data() + byte;
    if (p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == (kPictureStartCode & 0xFF)) break;
  }
  if (byte + 5 > size) return false;
  r.SeekToBit(8 * (byte + 4));
  state.damaged = false;
  ParsePictureBody(state);
  return true;
}

}  // namespace mivora::decoder
