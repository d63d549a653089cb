// Writing 8-bit RGB pictures as PNG files (frames, screenshots).
#pragma once

#include <cstdint>
#include <string>

namespace mivora::platform {

// rgb: height rows of width pixels, 3 bytes each. False when the file can't be written or PNG
// support is not built in.
bool WritePngRgb(const std::string& path, const std::uint8_t* rgb, int width, int height);

}  // namespace mivora::platform
