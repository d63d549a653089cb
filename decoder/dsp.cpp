#include "decoder/dsp.h"

#include <cstdlib>
#include <cstring>

namespace mivora::decoder {
namespace {

DecoderDsp MakeReference() {
  DecoderDsp dsp{};
  dsp.idctPut = reference::IdctPut;
  dsp.idctAdd = reference::IdctAdd;
  dsp.idctPutIn = reference::IdctPutIn;
  dsp.idctAddIn = reference::IdctAddIn;
  reference::FillPredictTable(dsp.predict);
  reference::FillPredictAverageTable(dsp.predictAverage);
  reference::FillAverageTable(dsp.average);
  reference::FillQpelTable(dsp.qpel);
  reference::FillQpelAverageTable(dsp.qpelAverage);
  dsp.dequantIntra = reference::DequantIntraMpeg;
  dsp.dequantInter = reference::DequantInterMpeg;
  reference::FillWarpTable(dsp.warp);
  dsp.extendEdges = reference::ExtendEdges;
  return dsp;
}

// Starts from the portable table; each instruction set the processor offers overrides the entries
// it speeds up, in order, so the last table holds the fastest version of every entry.
std::vector<DspVariant> MakeVariants() {
  std::vector<DspVariant> variants{{"reference", MakeReference()}};
#if defined(__SSE2__)
  {
    DecoderDsp dsp = variants.back().dsp;
    dsp.idctPut = sse2::IdctPut;
    dsp.idctAdd = sse2::IdctAdd;
    dsp.idctPutIn = sse2::IdctPutIn;
    dsp.idctAddIn = sse2::IdctAddIn;
    sse2::FillPredictTable(dsp.predict);
    sse2::FillPredictAverageTable(dsp.predictAverage);
    sse2::FillAverageTable(dsp.average);
    sse2::FillQpelTable(dsp.qpel);
    sse2::FillQpelAverageTable(dsp.qpelAverage);
    dsp.dequantIntra = sse2::DequantIntraMpeg;
    dsp.dequantInter = sse2::DequantInterMpeg;
    sse2::FillWarpTable(dsp.warp);
    dsp.extendEdges = sse2::ExtendEdges;
    variants.push_back({"sse2", dsp});
  }
#endif
#if defined(__x86_64__) || defined(__i386__)
  if (__builtin_cpu_supports("avx2")) {
    DecoderDsp dsp = variants.back().dsp;
    dsp.idctPut = avx2::IdctPut;
    dsp.idctAdd = avx2::IdctAdd;
    dsp.idctPutIn = avx2::IdctPutIn;
    dsp.idctAddIn = avx2::IdctAddIn;
    avx2::FillQpelTable16(dsp.qpel);
    avx2::FillQpelTable8(dsp.qpel);
    avx2::FillQpelAverageTable(dsp.qpelAverage);
    avx2::FillPredictTable(dsp.predict);
    avx2::FillPredictAverageTable(dsp.predictAverage);
    dsp.dequantIntra = avx2::DequantIntraMpeg;
    dsp.dequantInter = avx2::DequantInterMpeg;
    variants.push_back({"avx2", dsp});
  }
#endif
#if defined(__aarch64__)
  {
    DecoderDsp dsp = variants.back().dsp;
    dsp.idctPut = neon::IdctPut;
    dsp.idctAdd = neon::IdctAdd;
    dsp.idctPutIn = neon::IdctPutIn;
    dsp.idctAddIn = neon::IdctAddIn;
    neon::FillPredictTable(dsp.predict);
    neon::FillPredictAverageTable(dsp.predictAverage);
    neon::FillAverageTable(dsp.average);
    neon::FillQpelTable(dsp.qpel);
    dsp.dequantIntra = neon::DequantIntraMpeg;
    dsp.dequantInter = neon::DequantInterMpeg;
    neon::FillWarpTable(dsp.warp);
    dsp.extendEdges = neon::ExtendEdges;
    variants.push_back({"neon", dsp});
  }
#endif
  return variants;
}

}  // namespace

const DecoderDsp& ReferenceDsp() {
  static const DecoderDsp dsp = MakeReference();
  return dsp;
}

std::vector<DspVariant> AvailableDsps() {
  return MakeVariants();
}

const DecoderDsp& Dsp() {
  static const DecoderDsp dsp = [] {
    const auto variants = MakeVariants();
    // MIVORA_KERNELS=<name> holds the decoder to an earlier set, to compare whole-decoder speed
    // and output between sets; an unknown or unavailable name leaves the fastest set in use.
    if (const char* wanted = std::getenv("MIVORA_KERNELS"))
      for (const auto& v : variants)
        if (std::strcmp(v.name, wanted) == 0) return v.dsp;
    return variants.back().dsp;
  }();
  return dsp;
}

}  // namespace mivora::decoder
