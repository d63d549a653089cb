// Vector versions of the converter row kernels for 64-bit ARM processors (NEON).
#pragma once

#include "output/convert_dsp.h"

namespace mivora::convert {

// Replaces the kernels that have a NEON version, by name; other entries stay as they are. Returns
// false (changing nothing) where NEON is not compiled in, which is every build but AArch64.
bool InstallNeon(ConvertDsp& dsp);

}  // namespace mivora::convert
