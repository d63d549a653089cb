// The sixteen quarter-sample entries of one block size and rounding type, entry 4 * fy + fx, from
// a kernel set's filter template: `make` is a lambda templated on <int kFx, int kFy> that gives
// the entry for that fraction. Every set lays its entries out this way.
#pragma once

#include <utility>

#include "decoder/dsp.h"

namespace mivora::decoder {

template <typename Make, int... kI>
void FillQuarterSamples(PredictFn* t, Make make, std::integer_sequence<int, kI...>) {
  ((t[kI] = make.template operator()<kI % 4, kI / 4>()), ...);
}

template <typename Make>
void FillQuarterSamples(PredictFn* t, Make make) {
  FillQuarterSamples(t, make, std::make_integer_sequence<int, 16>{});
}

}  // namespace mivora::decoder
