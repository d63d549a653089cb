// Conversions per second of each output mode for 320 x 240 and 640 x 480 sources into the
// 640 x 240 display, with libswscale's yuv420p -> rgb565 (same size, no scaling) beside them.
//   bench-convert [seconds per figure, default 0.5]
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "output/convert_dsp.h"
#include "output/converter_select.h"
#include "output/display_layout.h"
#include "platform/display_memory.h"

namespace {

using Clock = std::chrono::steady_clock;

// A picture with smooth content and some noise, so neither branch predictors nor the skip check
// see anything unusually regular.
struct Source {
  int width, height;
  std::vector<std::uint8_t> y, u, v;
  Source(int w, int h) : width(w), height(h), y(w * h), u(w * h / 4), v(w * h / 4) {
    std::mt19937 random(1);
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < w; ++x) y[r * w + x] = static_cast<std::uint8_t>((x + r + random() % 16));
    for (int i = 0; i < w * h / 4; ++i) {
      u[i] = static_cast<std::uint8_t>(96 + random() % 64);
      v[i] = static_cast<std::uint8_t>(96 + random() % 64);
    }
  }
};

template <typename Body>
double PerSecond(double seconds, Body body) {
  long count = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    for (int i = 0; i < 16; ++i) body();
    count += 16;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds);
  return count / elapsed;
}

double Mivora(const Source& s, int mode, bool skip, double seconds) {
  mivora::SelectConverter(0, mode);
  const mivora::DisplayLayout layout = mivora::LayoutForOutputType(s.width, s.height, mode);
  std::uint16_t* destination = mivora::platform::DisplayDestination(layout.startOffset);
  // Skip-unchanged against an identical previous picture: the best case, nothing written.
  const std::uint8_t* py = skip ? s.y.data() : nullptr;
  const std::uint8_t* pu = skip ? s.u.data() : nullptr;
  const std::uint8_t* pv = skip ? s.v.data() : nullptr;
  return PerSecond(seconds, [&] {
    mivora::ConverterHook(s.y.data(), s.width, s.u.data(), s.v.data(), s.width / 2, destination,
                          s.width, s.height, layout.rowSkip, 0, 0, py, pu, pv, skip ? 1 : 0, 0);
  });
}

double Swscale(const Source& s, double seconds) {
  SwsContext* context = sws_getContext(s.width, s.height, AV_PIX_FMT_YUV420P, s.width, s.height,
                                       AV_PIX_FMT_RGB565LE, SWS_POINT, nullptr, nullptr, nullptr);
  if (!context) return 0;
  std::vector<std::uint16_t> out(static_cast<std::size_t>(s.width) * s.height);
  const std::uint8_t* planes[3] = {s.y.data(), s.u.data(), s.v.data()};
  const int strides[3] = {s.width, s.width / 2, s.width / 2};
  std::uint8_t* destination[1] = {reinterpret_cast<std::uint8_t*>(out.data())};
  const int destinationStride[1] = {2 * s.width};
  const double rate = PerSecond(seconds, [&] {
    sws_scale(context, planes, strides, 0, s.height, destination, destinationStride);
  });
  sws_freeContext(context);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
  std::printf("conversions per second (display 640x240 RGB 5-6-5)\n");
  std::printf("%-9s %-9s %8s %8s %8s %8s %10s %10s\n", "source", "kernels", "type 5", "type 7",
              "type 8", "type 9", "5 skipped", "swscale");
  for (const auto& size : {std::pair{320, 240}, std::pair{640, 480}}) {
    const Source s(size.first, size.second);
    char name[16];
    std::snprintf(name, sizeof name, "%dx%d", s.width, s.height);
    for (const bool fastest : {false, true}) {
      mivora::convert::UseConvertDsp(fastest ? mivora::convert::FastestConvertDsp()
                                             : mivora::convert::ReferenceConvertDsp());
      std::printf("%-9s %-9s", name, fastest ? "fastest" : "reference");
      for (int mode : {5, 7, 8, 9}) std::printf(" %8.0f", Mivora(s, mode, false, seconds));
      std::printf(" %10.0f", Mivora(s, 5, true, seconds));
      std::printf(" %10.0f\n", Swscale(s, seconds));
    }
  }
  std::printf(
      "(swscale converts the whole source at its own size; the modes what fits the display;\n"
      "'5 skipped': type 5 with skip-unchanged against an identical previous picture)\n");
  return 0;
}
