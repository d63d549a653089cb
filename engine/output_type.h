// How decoded pictures are laid on the display: the four output types and the one rule that
// picks a type from the rotate and double-size options.
#pragma once

#include <cstdint>

namespace mivora {

// Output types: how decoded pictures are laid on the display.
enum class OutputType : std::int32_t {
  Normal = 5,         // as decoded
  Rotated = 7,        // turned 90 degrees
  Double = 8,         // two display pixels per sample
  RotatedDouble = 9,  // turned and doubled
};
// The type for the rotate and double-size options; oneToOne (the paused capture) keeps the
// rotation but never doubles.
OutputType OutputTypeFor(bool rotate, bool doubleSize, bool oneToOne);

}  // namespace mivora
