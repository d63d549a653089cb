// The colour converter slot: the decoder's initialisation (and the engine, when the output mode
// changes) chooses one of the four converters by output type; the engine calls through the slot
// after every frame it shows.
#pragma once

#include <cstdint>

namespace mivora {

// Sixteen arguments, the same for every converter; mode 9 reads only the first nine.
using ConverterFn = void (*)(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                             const std::uint8_t* v, std::int32_t strideU,
                             std::uint16_t* destination, std::int32_t width, std::int32_t height,
                             std::int32_t rowSkip, std::uint8_t cleanVideo, std::int32_t brightness,
                             const std::uint8_t* prevY, const std::uint8_t* prevU,
                             const std::uint8_t* prevV, std::int32_t skipUnchanged,
                             std::uint8_t reserved);

// The current converter. Starts as ConvertNormal so a call before any selection is harmless.
extern ConverterFn ConverterHook;

// Output types 5, 7, 8 and 9 choose ConvertNormal, ConvertRotated, ConvertDouble and
// ConvertRotatedDouble; any other type leaves the hook unchanged. first is ignored. Returns 1.
std::int32_t SelectConverter(std::int32_t first, std::int32_t outputType);

}  // namespace mivora
