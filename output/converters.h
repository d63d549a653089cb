// The four colour converters, one per output mode: YUV 4:2:0 planes to RGB 5-6-5 display pixels,
// as decoded or turned 90 degrees counter-clockwise, at one or two display pixels per sample.
#pragma once

#include <cstdint>

namespace mivora {

// The size limits are those of the display geometry in force (W x H; 640 x 240 on the handheld),
// read once per call.

// Type 5: as decoded, 1:1, centred crop to W x H.
void ConvertNormal(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                   const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                   std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                   std::uint8_t cleanVideo, std::int32_t brightness, const std::uint8_t* prevY,
                   const std::uint8_t* prevU, const std::uint8_t* prevV, std::int32_t skipUnchanged,
                   std::uint8_t reserved);
// Type 7: turned 90 degrees counter-clockwise, 1:1, centred crop to H x W source samples.
void ConvertRotated(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                    const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                    std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                    std::uint8_t cleanVideo, std::int32_t brightness, const std::uint8_t* prevY,
                    const std::uint8_t* prevU, const std::uint8_t* prevV,
                    std::int32_t skipUnchanged, std::uint8_t reserved);
// Type 8: as decoded, each sample a 2x2 block with three interpolated pixels; top-left
// (W / 2) x (H / 2) samples at most.
void ConvertDouble(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                   const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                   std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                   std::uint8_t cleanVideo, std::int32_t brightness, const std::uint8_t* prevY,
                   const std::uint8_t* prevU, const std::uint8_t* prevV, std::int32_t skipUnchanged,
                   std::uint8_t reserved);
// Type 9: turned and doubled by repetition; top-left (H / 2) x (W / 2) samples at
// most; never skips.
void ConvertRotatedDouble(const std::uint8_t* y, std::int32_t strideY, const std::uint8_t* u,
                          const std::uint8_t* v, std::int32_t strideU, std::uint16_t* destination,
                          std::int32_t width, std::int32_t height, std::int32_t rowSkip,
                          std::uint8_t cleanVideo, std::int32_t brightness,
                          const std::uint8_t* prevY, const std::uint8_t* prevU,
                          const std::uint8_t* prevV, std::int32_t skipUnchanged,
                          std::uint8_t reserved);

}  // namespace mivora
