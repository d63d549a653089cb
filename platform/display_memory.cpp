#include "platform/display_memory.h"

#include <algorithm>
#include <iterator>

namespace mivora::platform {

namespace {
std::uint16_t gDisplay[kDisplayPixels];  // zero-initialised: black
}  // namespace

std::uint16_t* DisplayMemory() {
  return gDisplay;
}

std::uint16_t* DisplayDestination(std::int32_t startOffset) {
  if (startOffset < 0 || startOffset >= kDisplayPixels) return nullptr;
  return gDisplay + startOffset;
}

void ClearDisplayMemory() {
  std::fill(std::begin(gDisplay), std::end(gDisplay), 0);
}

}  // namespace mivora::platform
