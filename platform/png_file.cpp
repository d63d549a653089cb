#include "platform/png_file.h"

#include <csetjmp>
#include <cstdio>

#ifdef MIVORA_HAVE_PNG
#include <png.h>
#endif

namespace mivora::platform {

bool WritePngRgb(const std::string& path, const std::uint8_t* rgb, int width, int height) {
#ifdef MIVORA_HAVE_PNG
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (png != nullptr && info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
      png_write_row(png, const_cast<png_bytep>(rgb + std::size_t(y) * width * 3));
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, info ? &info : nullptr);
  return std::fclose(file) == 0 && ok;
#else
  (void)path, (void)rgb, (void)width, (void)height;
  return false;
#endif
}

}  // namespace mivora::platform
