// The picture shown when nothing with video is loaded: 160 x 110 pixels of our own.
#pragma once

#include <cstdint>

namespace mivora {

inline constexpr int kIdlePictureWidth = 160;
inline constexpr int kIdlePictureHeight = 110;

// Rows of kIdlePictureWidth RGB 5-6-5 pixels, made on first use.
const std::uint16_t* IdlePicture();

}  // namespace mivora
