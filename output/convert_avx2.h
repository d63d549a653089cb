// Vector versions of the converter row kernels for processors with AVX2.
#pragma once

#include "output/convert_dsp.h"

namespace mivora::convert {

// Replaces the kernels that have an AVX2 version (the caller checks that the processor has AVX2).
// Returns false (changing nothing) on processors of other families.
bool InstallAvx2(ConvertDsp& dsp);

}  // namespace mivora::convert
