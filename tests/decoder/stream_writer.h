// Writes layer and picture headers for test streams.
#pragma once

#include "decoder/headers.h"
#include "tests/decoder/bit_writer.h"

namespace mivora::decoder::testing {

// Layer header options; the defaults give the plain layout older encoders write.
struct Layer {
  int verid = 0;  // 0: no layer identifier
  int aspect = 1;
  bool control = false;
  int lowDelay = 1;  // with control: 0 says B pictures may follow
  bool vbv = false;
  int shape = 0;
  int resolution = 25;
  bool fixedRate = false;
  int width = 176, height = 144;
  int interlaced = 0;
  int sprite = 0;  // 2: global motion compensation (needs verid 2)
  int warpingPoints = 0, warpingAccuracy = 0, brightnessChange = 0;
  int not8Bit = 0;
  int quantType = 0;
  int quarterSample = 0;
  int complexityDisable = 1;
  int resyncDisable = 1;
  int partitioned = 0;
  int reversible = 0;
  int scalability = 0;
};

inline void WriteLayer(BitWriter& w, const Layer& l) {
  w.Put(0, 1).Put(1, 8);  // random access, simple object
  w.Put(l.verid != 0, 1);
  if (l.verid) w.Put(l.verid, 4).Put(1, 3);
  w.Put(l.aspect, 4);
  if (l.aspect == 15) w.Put(8, 8).Put(8, 8);
  w.Put(l.control, 1);
  if (l.control) {
    w.Put(1, 2).Put(l.lowDelay, 1).Put(l.vbv, 1);
    if (l.vbv)
      w.Put(0x7FFF, 15)
          .Put(1, 1)
          .Put(0, 15)
          .Put(1, 1)
          .Put(0x55, 15)
          .Put(1, 1)
          .Put(2, 3)
          .Put(0x3FF, 11)
          .Put(1, 1)
          .Put(0x1234, 15)
          .Put(1, 1);
  }
  w.Put(l.shape, 2).Put(1, 1).Put(l.resolution, 16).Put(1, 1).Put(l.fixedRate, 1);
  if (l.fixedRate) w.Put(1, TimeIncrementBits(l.resolution));
  w.Put(1, 1).Put(l.width, 13).Put(1, 1).Put(l.height, 13).Put(1, 1);
  w.Put(l.interlaced, 1).Put(1, 1);  // obmc disabled
  w.Put(l.sprite, l.verid > 1 ? 2 : 1);
  if (l.sprite == 2) w.Put(l.warpingPoints, 6).Put(l.warpingAccuracy, 2).Put(l.brightnessChange, 1);
  w.Put(l.not8Bit, 1);
  if (l.not8Bit) w.Put(4, 4).Put(8, 4);
  w.Put(l.quantType, 1);
  if (l.quantType) w.Put(0, 1).Put(0, 1);  // the default matrices
  if (l.verid > 1) w.Put(l.quarterSample, 1);
  w.Put(l.complexityDisable, 1).Put(l.resyncDisable, 1).Put(l.partitioned, 1);
  if (l.partitioned) w.Put(l.reversible, 1);
  if (l.verid > 1) w.Put(0, 1).Put(0, 1);  // newpred, reduced resolution
  w.Put(l.scalability, 1);
}

// A picture header for a layer with time resolution 25 (5-bit time increment).
inline void WritePicture(BitWriter& w, int type, int q, int fcode = 1, int coded = 1) {
  w.StartCode(0xB6).Put(type, 2).Code("110").Put(1, 1).Put(3, 5).Put(1, 1).Put(coded, 1);
  if (!coded) return;
  if (type == 1) w.Put(1, 1);
  w.Put(0, 3).Put(q, 5);
  if (type != 0) w.Put(fcode, 3);
}

// One warping point difference: its size code, the value (a leading zero bit for negative ones),
// a marker bit.
inline void WriteWarpingDifference(BitWriter& w, int v) {
  static const char* const kLengthCodes[15] = {
      "00",       "010",       "011",        "100",         "101",
      "110",      "1110",      "11110",      "111110",      "1111110",
      "11111110", "111111110", "1111111110", "11111111110", "111111111110"};
  int length = 0;
  for (int a = v < 0 ? -v : v; a; a >>= 1) ++length;
  w.Code(kLengthCodes[length]);
  if (length) w.Put(static_cast<std::uint32_t>(v > 0 ? v : v + (1 << length) - 1), length);
  w.Put(1, 1);
}

// An S picture header (time resolution 25) with the first `points` warping points' differences.
inline void WriteSPicture(BitWriter& w, int time, int rounding, int q, int fcode, int points,
                          const int warping[][2]) {
  w.StartCode(0xB6).Put(3, 2).Code("0").Put(1, 1).Put(time, 5).Put(1, 1).Put(1, 1);
  w.Put(rounding, 1).Put(0, 3);
  for (int i = 0; i < points; ++i) {
    WriteWarpingDifference(w, warping[i][0]);
    WriteWarpingDifference(w, warping[i][1]);
  }
  w.Put(q, 5).Put(fcode, 3);
}

}  // namespace mivora::decoder::testing
