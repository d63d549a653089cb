#include "shell/idle_picture.h"

#include <cstdlib>

namespace mivora {
namespace {

std::uint16_t Rgb(int r, int g, int b) {
  return std::uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

struct Picture {
  std::uint16_t pixels[kIdlePictureWidth * kIdlePictureHeight];
  Picture() {
    // A dark blue card with a rounded border and a light "play" triangle in its middle.
    for (int y = 0; y < kIdlePictureHeight; ++y) {
      for (int x = 0; x < kIdlePictureWidth; ++x) {
        const int shade = 40 + (60 * y) / kIdlePictureHeight;
        std::uint16_t p = Rgb(shade / 3, shade / 2, shade + 60);
        const bool border =
            x < 3 || y < 3 || x >= kIdlePictureWidth - 3 || y >= kIdlePictureHeight - 3;
        if (border) p = Rgb(150, 170, 210);
        // Triangle pointing right, 50 wide and 56 high, centred.
        const int tx = x - 58, ty = std::abs(y - kIdlePictureHeight / 2);
        if (tx >= 0 && tx < 50 && ty * 50 <= (50 - tx) * 28) p = Rgb(235, 240, 250);
        pixels[y * kIdlePictureWidth + x] = p;
      }
    }
  }
};

}  // namespace

const std::uint16_t* IdlePicture() {
  static const Picture picture;
  return picture.pixels;
}

}  // namespace mivora
