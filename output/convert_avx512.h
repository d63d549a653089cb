// Row kernels for processors with AVX-512 (byte/word and 256-bit forms): the AVX2 arrangement with
// three-input bitwise selects, and wider steps where they pay.
#pragma once

#include "output/convert_dsp.h"

namespace mivora::convert {

// Replaces the kernels that have an AVX-512 version (the caller checks that the processor has
// AVX-512 F, BW and VL). Returns false (changing nothing) on processors of other families.
bool InstallAvx512(ConvertDsp& dsp);

}  // namespace mivora::convert
