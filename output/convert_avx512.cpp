// AVX-512 row kernels: the AVX2 ones compiled again for AVX-512 F/BW/VL, installed only on
// processors that report all three.
#include "output/convert_avx512.h"

#if defined(__x86_64__) || defined(__i386__)

#define MIVORA_KERNEL __attribute__((target("avx2,avx512f,avx512bw,avx512vl")))
#define MIVORA_KERNEL_INLINE \
  __attribute__((target("avx2,avx512f,avx512bw,avx512vl"), always_inline)) inline

#define MIVORA_KERNEL_WORD_PERMUTES 1
#include "output/convert_avx2_kernels.h"

namespace mivora::convert {

bool InstallAvx512(ConvertDsp& dsp) {
  InstallKernels(dsp);
  return true;
}

}  // namespace mivora::convert

#else

namespace mivora::convert {
bool InstallAvx512(ConvertDsp&) {
  return false;
}
}  // namespace mivora::convert

#endif
