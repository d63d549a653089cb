#include "tools/decode/png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace mivora {

namespace {

// libpng reports errors by longjmp; no C++ object with a destructor may live across setjmp in
// WriteRows, so the file and row buffer are owned by the caller.
bool WriteRows(std::FILE* file, png_bytep* rows, int width, int height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng565(const std::string& path, const std::uint16_t* pixels, int width, int height,
                 std::ptrdiff_t stride) {
  if (!pixels || width <= 0 || height <= 0) return false;
  std::vector<png_byte> rgb(static_cast<std::size_t>(width) * height * 3);
  std::vector<png_bytep> rows(static_cast<std::size_t>(height));
  for (int r = 0; r < height; ++r) {
    png_bytep out = rgb.data() + static_cast<std::size_t>(r) * width * 3;
    rows[r] = out;
    const std::uint16_t* in = pixels + r * stride;
    for (int x = 0; x < width; ++x) {
      const unsigned p = in[x];
      const unsigned red = p >> 11, green = (p >> 5) & 0x3F, blue = p & 0x1F;
      out[3 * x] = static_cast<png_byte>((red << 3) | (red >> 2));
      out[3 * x + 1] = static_cast<png_byte>((green << 2) | (green >> 4));
      out[3 * x + 2] = static_cast<png_byte>((blue << 3) | (blue >> 2));
    }
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = WriteRows(file, rows.data(), width, height);
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

}  // namespace mivora
