// Sample conversion shared by the converters: one luminance value with its chrominance pair to an
// RGB 5-6-5 pixel, one addition per channel, channels cut to their top bits (no rounding).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace mivora::convert {

inline int Clip255(int value) {
  return std::clamp(value, 0, 255);
}

// Red in bits 15..11, green 10..5, blue 4..0; channels already within 0..255.
inline std::uint16_t PackPixel(int red, int green, int blue) {
  return static_cast<std::uint16_t>(((red & 0xF8) << 8) | ((green & 0xFC) << 3) | (blue >> 3));
}

// Brightness beyond +-1024 saturates every channel just as +-1024 does, so clamping it keeps the
// arithmetic below far from overflow for any 32-bit value a caller passes.
inline int ClampBrightness(std::int32_t brightness) {
  return std::clamp<std::int32_t>(brightness, -1024, 1024);
}

// The per-chrominance-pair terms: blue = Y + blueTerm, green = Y + greenTerm, red = Y + redTerm.
struct ChromaTerms {
  int blue, green, red;
};
inline ChromaTerms MakeTerms(int u, int v, int brightness) {
  return {brightness - 144 + u, brightness - 16, brightness - 144 + v};
}
inline std::uint16_t PixelFromTerms(int luma, const ChromaTerms& terms) {
  return PackPixel(Clip255(luma + terms.red), Clip255(luma + terms.green),
                   Clip255(luma + terms.blue));
}

inline std::uint16_t ConvertSample(int luma, int u, int v, int brightness) {
  return PixelFromTerms(luma, MakeTerms(u, v, brightness));
}

// Two horizontally adjacent display pixels as one 32-bit little-endian word, left pixel in the low
// half. memcpy keeps the store valid at any alignment, so a picture may start at an odd display
// column; on a little-endian machine it compiles to a single 32-bit store.
inline void StorePair(std::uint16_t* destination, std::uint16_t left, std::uint16_t right) {
  if constexpr (std::endian::native == std::endian::little) {
    const std::uint32_t word = static_cast<std::uint32_t>(left) | (std::uint32_t{right} << 16);
    std::memcpy(destination, &word, sizeof word);
  } else {
    destination[0] = left;
    destination[1] = right;
  }
}

}  // namespace mivora::convert
