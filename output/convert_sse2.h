// Vector versions of the converter row kernels for processors with SSE2.
#pragma once

#include "output/convert_dsp.h"

namespace mivora::convert {

// Replaces the kernels that have an SSE2 version. Returns false (changing nothing) where SSE2 is
// not compiled in.
bool InstallSse2(ConvertDsp& dsp);

}  // namespace mivora::convert
