#include "output/converter_select.h"

#include "output/converters.h"

namespace mivora {

ConverterFn ConverterHook = &ConvertNormal;

std::int32_t SelectConverter(std::int32_t /*first*/, std::int32_t outputType) {
  switch (outputType) {
    case 5:
      ConverterHook = &ConvertNormal;
      break;
    case 7:
      ConverterHook = &ConvertRotated;
      break;
    case 8:
      ConverterHook = &ConvertDouble;
      break;
    case 9:
      ConverterHook = &ConvertRotatedDouble;
      break;
    default:
      break;
  }
  return 1;
}

}  // namespace mivora
