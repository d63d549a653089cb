// Conversions per second of each output type for 320 x 240 and 640 x 480 sources into the
// 640 x 240 display, per kernel set, beside libswscale's yuv420p -> rgb565 (no scaling) in the
// same run. swscale is measured twice: on the source region the type converts (the centred crop
// of types 5 and 7, the top-left part of types 8 and 9) and on the whole source. The ratio
// columns divide the fastest kernels' figure by swscale's.
//   bench-convert [seconds per figure, default 0.5]
extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
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

// The best of three runs of a third of the time each: the machine is shared, and the best run is
// the one least disturbed.
template <typename Body>
double PerSecond(double seconds, Body body) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    long count = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    do {
      for (int i = 0; i < 8; ++i) body();
      count += 8;
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    } while (elapsed < seconds / 3);
    best = std::max(best, count / elapsed);
  }
  return best;
}

// The source region an output type converts: its size and its first luminance row and column
// (chrominance at half of each), as the converters crop.
struct Region {
  int width, height, row, column;
};
Region RegionOf(int type, int w, int h) {
  switch (type) {
    case 5:
      return {std::min(w, 640), std::min(h, 240), h > 240 ? (h - 240) / 4 * 2 : 0,
              w > 640 ? ((w - 640) >> 2) * 2 : 0};
    case 7:
      return {std::min(w, 240), std::min(h, 640), h > 640 ? (h - 640) / 4 * 2 : 0,
              w > 240 ? ((w - 240) >> 2) * 2 : 0};
    case 8:
      return {std::min(w, 320), std::min(h, 120), 0, 0};
    default:
      return {std::min(w, 120), std::min(h, 320), 0, 0};
  }
}

double Mivora(const Source& s, int type, bool skip, double seconds) {
  mivora::SelectConverter(0, type);
  const mivora::DisplayLayout layout = mivora::LayoutForOutputType(s.width, s.height, type);
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

double Swscale(const Source& s, const Region& r, double seconds) {
  SwsContext* context = sws_getContext(r.width, r.height, AV_PIX_FMT_YUV420P, r.width, r.height,
                                       AV_PIX_FMT_RGB565LE, SWS_POINT, nullptr, nullptr, nullptr);
  if (!context) return 0;
  // swscale's vector code writes whole blocks past narrow rows' ends: rows get room for that.
  const int outStride = (r.width + 31) & ~31;
  std::vector<std::uint16_t> out(static_cast<std::size_t>(outStride) * (r.height + 1) + 64);
  const int chroma = (r.row / 2) * (s.width / 2) + r.column / 2;
  const std::uint8_t* planes[3] = {s.y.data() + r.row * s.width + r.column, s.u.data() + chroma,
                                   s.v.data() + chroma};
  const int strides[3] = {s.width, s.width / 2, s.width / 2};
  std::uint8_t* destination[1] = {reinterpret_cast<std::uint8_t*>(out.data())};
  const int destinationStride[1] = {2 * outStride};
  const double rate = PerSecond(seconds, [&] {
    sws_scale(context, planes, strides, 0, r.height, destination, destinationStride);
  });
  sws_freeContext(context);
  return rate;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
  const auto sets = mivora::convert::AvailableConvertDsps();
  std::printf("conversions per second into the 640x240 RGB 5-6-5 display, best of three runs\n");
  std::printf("%-8s %-4s %-8s", "source", "type", "region");
  for (const auto& set : sets) std::printf(" %9s", set.name);
  std::printf(" %9s %9s %6s %9s %6s\n", "unchanged", "sws reg.", "ratio", "sws all", "ratio");
  for (const auto& size : {std::pair{320, 240}, std::pair{640, 480}}) {
    const Source s(size.first, size.second);
    const Region whole{s.width, s.height, 0, 0};
    const double swsWhole = Swscale(s, whole, seconds);
    char name[16];
    std::snprintf(name, sizeof name, "%dx%d", s.width, s.height);
    for (int type : {5, 7, 8, 9}) {
      const Region region = RegionOf(type, s.width, s.height);
      char extent[16];
      std::snprintf(extent, sizeof extent, "%dx%d", region.width, region.height);
      std::printf("%-8s %-4d %-8s", name, type, extent);
      double fastest = 0;
      for (const auto& set : sets) {
        mivora::convert::UseConvertDsp(*set.dsp);
        fastest = Mivora(s, type, false, seconds);
        std::printf(" %9.0f", fastest);
      }
      // Type 9 never skips; its figure would repeat the full conversion.
      if (type == 9)
        std::printf(" %9s", "-");
      else
        std::printf(" %9.0f", Mivora(s, type, true, seconds));
      const double swsRegion = Swscale(s, region, seconds);
      std::printf(" %9.0f %6.2f %9.0f %6.2f\n", swsRegion, fastest / swsRegion, swsWhole,
                  fastest / swsWhole);
    }
  }
  std::printf(
      "(sets in increasing order; 'unchanged': the fastest set with skip-unchanged against an\n"
      "identical previous picture, nothing written; 'sws reg.': swscale on the region the type\n"
      "converts; 'sws all': swscale on the whole source; ratios: fastest set / swscale)\n");
  return 0;
}
