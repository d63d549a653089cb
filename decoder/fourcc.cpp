#include "decoder/fourcc.h"

#include <cstring>

namespace mivora::decoder {
namespace {

constexpr const char* kOthers[] = {"XVID", "xvid", "DX50", "dx50", "FMP4", "fmp4", "MP4V", "mp4v",
                                   "3IV2", "3iv2", "DIV5", "div5", "DIV6", "div6", "RMP4", "SEDG",
                                   "BLZ0", "M4S2", "m4s2", "DXGM", "UMP4", "WV1F", "XVIX"};

}  // namespace

bool IsDivxFourcc(const char* fourcc) {
  return fourcc && (std::strcmp(fourcc, "DIVX") == 0 || std::strcmp(fourcc, "divx") == 0);
}

bool IsOtherMpeg4Fourcc(const char* fourcc) {
  if (!fourcc) return false;
  for (const char* f : kOthers)
    if (std::strcmp(fourcc, f) == 0) return true;
  return false;
}

}  // namespace mivora::decoder
