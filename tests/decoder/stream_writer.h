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
  int sprite = 0;
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

}  // namespace mivora::decoder::testing
