#include "engine/output_type.h"

namespace mivora {

OutputType OutputTypeFor(bool rotate, bool doubleSize, bool oneToOne) {
  if (rotate && doubleSize) return oneToOne ? OutputType::Rotated : OutputType::RotatedDouble;
  if (rotate) return OutputType::Rotated;
  if (doubleSize && !oneToOne) return OutputType::Double;
  return OutputType::Normal;
}

}  // namespace mivora
