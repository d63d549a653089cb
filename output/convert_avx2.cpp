// AVX2 row kernels (see convert_avx2_kernels.h), installed only on processors that report AVX2.
#include "output/convert_avx2.h"

#if defined(__x86_64__) || defined(__i386__)

#define MIVORA_KERNEL __attribute__((target("avx2")))
#define MIVORA_KERNEL_INLINE __attribute__((target("avx2"), always_inline)) inline

#include "output/convert_avx2_kernels.h"

namespace mivora::convert {

bool InstallAvx2(ConvertDsp& dsp) {
  InstallKernels(dsp);
  return true;
}

}  // namespace mivora::convert

#else

namespace mivora::convert {
bool InstallAvx2(ConvertDsp&) {
  return false;
}
}  // namespace mivora::convert

#endif
