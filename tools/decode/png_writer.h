// Writes RGB 5-6-5 pixels as an 8-bit RGB PNG file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mivora {

// width x height pixels, rows stride pixels apart. Each channel is widened by repeating its top
// bits, so 5-6-5 white becomes 255, 255, 255. False when the file cannot be written.
bool WritePng565(const std::string& path, const std::uint16_t* pixels, int width, int height,
                 std::ptrdiff_t stride);

}  // namespace mivora
