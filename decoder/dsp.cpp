#include "decoder/dsp.h"

namespace mivora::decoder {
namespace {

DecoderDsp MakeReference() {
  DecoderDsp dsp{};
  dsp.idctPut = reference::IdctPut;
  dsp.idctAdd = reference::IdctAdd;
  reference::FillPredictTable(dsp.predict);
  dsp.extendEdges = reference::ExtendEdges;
  return dsp;
}

// Starts from the portable table; a faster version for a processor feature overrides its entries
// here, one line per instruction set, e.g.
//   if (__builtin_cpu_supports("sse2")) InstallSse2(dsp);
DecoderDsp SelectDsp() {
  DecoderDsp dsp = MakeReference();
  return dsp;
}

}  // namespace

const DecoderDsp& ReferenceDsp() {
  static const DecoderDsp dsp = MakeReference();
  return dsp;
}

const DecoderDsp& Dsp() {
  static const DecoderDsp dsp = SelectDsp();
  return dsp;
}

}  // namespace mivora::decoder
