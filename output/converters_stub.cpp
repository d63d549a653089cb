#include "output/converters.h"

namespace mivora {

void ConvertNormal(const std::uint8_t*, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                   std::int32_t, std::uint16_t*, std::int32_t, std::int32_t, std::int32_t,
                   std::uint8_t, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                   const std::uint8_t*, std::int32_t, std::uint8_t) {}
void ConvertRotated(const std::uint8_t*, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                    std::int32_t, std::uint16_t*, std::int32_t, std::int32_t, std::int32_t,
                    std::uint8_t, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                    const std::uint8_t*, std::int32_t, std::uint8_t) {}
void ConvertDouble(const std::uint8_t*, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                   std::int32_t, std::uint16_t*, std::int32_t, std::int32_t, std::int32_t,
                   std::uint8_t, std::int32_t, const std::uint8_t*, const std::uint8_t*,
                   const std::uint8_t*, std::int32_t, std::uint8_t) {}
void ConvertRotatedDouble(const std::uint8_t*, std::int32_t, const std::uint8_t*,
                          const std::uint8_t*, std::int32_t, std::uint16_t*, std::int32_t,
                          std::int32_t, std::int32_t, std::uint8_t, std::int32_t,
                          const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                          std::int32_t, std::uint8_t) {}

}  // namespace mivora
