// Conversions per second of each output type for 320 x 240 and 640 x 480 sources into the
// 640 x 240 display, per kernel set, beside libswscale's yuv420p -> rgb565 (no scaling) in the
// same run. swscale is measured twice: on the source region the type converts (the centred crop
// of types 5 and 7, the top-left part of types 8 and 9) and on the whole source. The ratio
// columns divide the fastest kernels' figure by swscale's. Types 8 and 9 show a w x h region as
// 2w x 2h display pixels (8 interpolates, 9 repeats), so a third swscale figure does that same
// work: the region scaled 2x to rgb565, bilinear for type 8, nearest for type 9. For types 5 and
// 7 the display output is the region itself and that column repeats the region ratio.
// A second table does the same at the "fit" display size, for 640 x 480 and 1280 x 720 sources
// (and 639 x 479, whose odd rows start at odd pixels and whose odd sides end in single samples):
// the display as large as the whole picture in each type, every sample shown. swscale does the
// same job to the same output size: type 5 the unscaled whole picture, type 8 scaled 2x
// bilinear, type 9 2x nearest. swscale cannot turn a picture: for types 7 and 9 it produces an
// output of the turned size (h x w, 2h x 2w) by nearest-neighbour scaling instead.
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
#include <cstring>
#include <random>
#include <vector>

#include "output/convert_dsp.h"
#include "output/converter_select.h"
#include "output/display_layout.h"
#include "output/display_size.h"
#include "platform/display_memory.h"
#include "tools/bench_budget.h"

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

// Conversions per second over one run of about the given time.
template <typename Body>
double Rate(double seconds, Body& body) {
  long count = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    for (int i = 0; i < 8; ++i) body();
    count += 8;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds);
  return count / elapsed;
}

// The machine is shared: each figure is the best of five short runs (the least disturbed), and
// figures that are compared run in alternation, so both see the same load.
constexpr int kRuns = 5;
template <typename Body>
double PerSecond(double seconds, Body body) {
  double best = 0;
  for (int run = 0; run < kRuns; ++run) best = std::max(best, Rate(seconds / kRuns, body));
  return best;
}
template <typename First, typename Second>
std::pair<double, double> SideBySide(double seconds, First& first, Second& second) {
  double a = 0, b = 0;
  for (int run = 0; run < kRuns; ++run) {
    a = std::max(a, Rate(seconds / kRuns, first));
    b = std::max(b, Rate(seconds / kRuns, second));
  }
  return {a, b};
}

// The source region an output type converts on the display in force: its size and its first
// luminance row and column (chrominance at half of each), as the converters crop.
struct Region {
  int width, height, row, column;
};
Region RegionOf(int type, int w, int h) {
  const mivora::platform::DisplayGeometry d = mivora::platform::CurrentDisplayGeometry();
  // Limits along the source's width and height.
  const bool turned = type == 7 || type == 9;
  const int across = turned ? d.height : d.width, down = turned ? d.width : d.height;
  if (type >= 8) return {std::min(w, across / 2), std::min(h, down / 2), 0, 0};
  return {std::min(w, across), std::min(h, down), h > down ? (h - down) / 4 * 2 : 0,
          w > across ? ((w - across) >> 2) * 2 : 0};
}

// Converts the whole source with output type 'type' through the converter slot.
struct MivoraConversion {
  const Source& s;
  const std::uint8_t *py, *pu, *pv;
  std::uint16_t* destination;
  mivora::DisplayLayout layout;
  MivoraConversion(const Source& source, int type, bool skip) : s(source) {
    mivora::SelectConverter(0, type);
    layout = mivora::LayoutForOutputType(s.width, s.height, type);
    destination = mivora::platform::DisplayDestination(layout.startOffset);
    // Skip-unchanged against an identical previous picture: the best case, nothing written.
    py = skip ? s.y.data() : nullptr;
    pu = skip ? s.u.data() : nullptr;
    pv = skip ? s.v.data() : nullptr;
  }
  void operator()() const {
    mivora::ConverterHook(s.y.data(), s.width, s.u.data(), s.v.data(), s.width / 2, destination,
                          s.width, s.height, layout.rowSkip, 0, 0, py, pu, pv, py ? 1 : 0, 0);
  }
};

// Only the stores: fills the display pixels output type 'type' writes for this source, row by
// row. What no conversion into that area can beat.
struct DisplayFill {
  std::uint16_t* destination;
  int rows, columns, pitch;
  DisplayFill(const Source& s, int type) {
    const mivora::DisplayLayout layout = mivora::LayoutForOutputType(s.width, s.height, type);
    destination = mivora::platform::DisplayDestination(layout.startOffset);
    pitch = mivora::platform::CurrentDisplayGeometry().pitch;
    const Region r = RegionOf(type, s.width, s.height);
    const bool turned = type == 7 || type == 9;
    const int scale = type >= 8 ? 2 : 1;
    rows = scale * (turned ? r.width : r.height);
    columns = scale * (turned ? r.height : r.width);
  }
  void operator()() const {
    for (int row = 0; row < rows; ++row)
      std::memset(destination + static_cast<std::ptrdiff_t>(row) * pitch, 0x5A,
                  static_cast<std::size_t>(columns) * 2);
  }
};

// swscale's unscaled yuv420p -> rgb565 of a region of the source into a buffer of its own.
class SwscaleConversion {
 public:
  // scale 2 doubles both sides of the output with the given flags (SWS_FAST_BILINEAR or
  // SWS_POINT); scale 1 is the unscaled conversion.
  SwscaleConversion(const Source& s, const Region& r, int scale = 1, int flags = SWS_POINT)
      : SwscaleConversion(s, r, scale * r.width, scale * r.height, flags) {}
  // Any output size (a turned one for the turned types, which swscale cannot turn).
  SwscaleConversion(const Source& s, const Region& r, int outWidth, int outHeight, int flags)
      : r_(r) {
    context_ = sws_getContext(r.width, r.height, AV_PIX_FMT_YUV420P, outWidth, outHeight,
                              AV_PIX_FMT_RGB565LE, flags, nullptr, nullptr, nullptr);
    // swscale's vector code writes whole blocks past narrow rows' ends: rows get room for that.
    const int outStride = (outWidth + 31) & ~31;
    out_.resize(static_cast<std::size_t>(outStride) * (outHeight + 1) + 64);
    const int chroma = (r.row / 2) * (s.width / 2) + r.column / 2;
    planes_[0] = s.y.data() + r.row * s.width + r.column;
    planes_[1] = s.u.data() + chroma;
    planes_[2] = s.v.data() + chroma;
    strides_[0] = s.width;
    strides_[1] = strides_[2] = s.width / 2;
    destination_[0] = reinterpret_cast<std::uint8_t*>(out_.data());
    destinationStride_[0] = 2 * outStride;
  }
  ~SwscaleConversion() { sws_freeContext(context_); }
  SwscaleConversion(const SwscaleConversion&) = delete;
  SwscaleConversion& operator=(const SwscaleConversion&) = delete;
  bool Valid() const { return context_ != nullptr; }
  void operator()() {
    sws_scale(context_, planes_, strides_, 0, r_.height, destination_, destinationStride_);
  }

 private:
  Region r_;
  SwsContext* context_;
  std::vector<std::uint16_t> out_;
  const std::uint8_t* planes_[3];
  int strides_[3];
  std::uint8_t* destination_[1];
  int destinationStride_[1];
};

// The display at "fit" for each type, every sample shown, beside swscale producing an output of
// the same size. Returns the exit status.
int FitTable(double seconds, const std::vector<mivora::convert::NamedConvertDsp>& sets) {
  namespace platform = mivora::platform;
  const mivora::DisplaySize fit{mivora::DisplaySizeMode::Fit, 0, 0};
  std::printf("conversions per second at display size fit (display as large as the picture)\n");
  std::printf("%-9s %-4s %-9s", "source", "type", "display");
  for (const auto& set : sets) std::printf(" %9s", set.name);
  std::printf(" %9s %9s %6s %9s\n", "unchanged", "swscale", "ratio", "fill");
  for (const auto& size : {std::pair{640, 480}, std::pair{639, 479}, std::pair{1280, 720}}) {
    const Source s(size.first, size.second);
    char name[32];
    std::snprintf(name, sizeof name, "%dx%d", s.width, s.height);
    if (!platform::ReserveDisplayMemory(mivora::LargestDisplayPixels(fit, s.width, s.height))) {
      std::fprintf(stderr, "no display memory for %s\n", name);
      return 1;
    }
    for (int type : {5, 7, 8, 9}) {
      const bool turned = type == 7 || type == 9, doubled = type >= 8;
      const platform::DisplayGeometry display =
          mivora::GeometryFor(fit, s.width, s.height, turned, doubled);
      platform::SetDisplayGeometry(display);
      const Region whole{s.width, s.height, 0, 0};
      SwscaleConversion sws(s, whole, display.width, display.height,
                            type == 8 ? SWS_FAST_BILINEAR : SWS_POINT);
      if (!sws.Valid()) {
        std::fprintf(stderr, "swscale cannot convert yuv420p to rgb565 at %dx%d\n", display.width,
                     display.height);
        return 1;
      }
      char extent[32];
      std::snprintf(extent, sizeof extent, "%dx%d", display.width, display.height);
      std::printf("%-9s %-4d %-9s", name, type, extent);
      for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
        mivora::convert::UseConvertDsp(*sets[i].dsp);
        std::printf(" %9.0f", PerSecond(seconds, MivoraConversion(s, type, false)));
      }
      mivora::convert::UseConvertDsp(*sets.back().dsp);
      const MivoraConversion conversion(s, type, false);
      const auto [fastest, swsRate] = SideBySide(seconds, conversion, sws);
      std::printf(" %9.0f", fastest);
      if (type == 9)
        std::printf(" %9s", "-");
      else
        std::printf(" %9.0f", PerSecond(seconds, MivoraConversion(s, type, true)));
      std::printf(" %9.0f %6.2f %9.0f\n", swsRate, fastest / swsRate,
                  PerSecond(seconds, DisplayFill(s, type)));
    }
  }
  platform::SetDisplayGeometry(platform::kHandheldGeometry);
  std::printf(
      "(swscale: the whole picture to an output of the display's size: type 5 unscaled, type 8\n"
      "2x bilinear, type 9 2x nearest; it cannot turn, so for types 7 and 9 it scales to the\n"
      "turned size (h x w, 2h x 2w) nearest-neighbour instead; ratio: fastest set / swscale,\n"
      "measured in alternation)\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds;
  if (!mivora::tools::ReadBudget(argc, argv, 0.5, "bench-convert [SECONDS]   (default 0.5)",
                                 &seconds))
    return 2;
  const auto sets = mivora::convert::AvailableConvertDsps();
  std::printf("conversions per second into the 640x240 RGB 5-6-5 display, best of %d runs\n",
              kRuns);
  std::printf("%-8s %-4s %-8s", "source", "type", "region");
  for (const auto& set : sets) std::printf(" %9s", set.name);
  std::printf(" %9s %9s %6s %9s %6s %9s %6s %9s\n", "unchanged", "sws reg.", "ratio", "sws disp.",
              "ratio", "sws all", "ratio", "fill");
  for (const auto& size : {std::pair{320, 240}, std::pair{640, 480}}) {
    const Source s(size.first, size.second);
    SwscaleConversion swsWhole(s, Region{s.width, s.height, 0, 0});
    char name[32];
    std::snprintf(name, sizeof name, "%dx%d", s.width, s.height);
    for (int type : {5, 7, 8, 9}) {
      const Region region = RegionOf(type, s.width, s.height);
      SwscaleConversion swsRegion(s, region);
      if (!swsRegion.Valid() || !swsWhole.Valid()) {
        std::fprintf(stderr, "swscale has no yuv420p -> rgb565 conversion\n");
        return 1;
      }
      char extent[32];
      std::snprintf(extent, sizeof extent, "%dx%d", region.width, region.height);
      std::printf("%-8s %-4d %-8s", name, type, extent);
      // Every set but the fastest alone; the fastest side by side with swscale.
      for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
        mivora::convert::UseConvertDsp(*sets[i].dsp);
        std::printf(" %9.0f", PerSecond(seconds, MivoraConversion(s, type, false)));
      }
      mivora::convert::UseConvertDsp(*sets.back().dsp);
      const MivoraConversion conversion(s, type, false);
      const auto [fastest, regionRate] = SideBySide(seconds, conversion, swsRegion);
      std::printf(" %9.0f", fastest);
      // Type 9 never skips; its figure would repeat the full conversion.
      if (type == 9)
        std::printf(" %9s", "-");
      else
        std::printf(" %9.0f", PerSecond(seconds, MivoraConversion(s, type, true)));
      std::printf(" %9.0f %6.2f", regionRate, fastest / regionRate);
      if (type >= 8) {
        SwscaleConversion swsDisplay(s, region, 2, type == 8 ? SWS_FAST_BILINEAR : SWS_POINT);
        if (!swsDisplay.Valid()) {
          std::fprintf(stderr, "swscale cannot scale yuv420p to rgb565\n");
          return 1;
        }
        const auto [same, displayRate] = SideBySide(seconds, conversion, swsDisplay);
        std::printf(" %9.0f %6.2f", displayRate, same / displayRate);
      } else {
        std::printf(" %9.0f %6.2f", regionRate, fastest / regionRate);
      }
      const auto [again, wholeRate] = SideBySide(seconds, conversion, swsWhole);
      std::printf(" %9.0f %6.2f %9.0f\n", wholeRate, again / wholeRate,
                  PerSecond(seconds, DisplayFill(s, type)));
    }
  }
  std::printf(
      "(sets in increasing order; 'unchanged': the fastest set with skip-unchanged against an\n"
      "identical previous picture, nothing written; 'sws reg.': swscale on the region the type\n"
      "converts; 'sws disp.': swscale producing the same display output, the region scaled 2x\n"
      "(bilinear for type 8, nearest for 9; types 5 and 7 repeat 'sws reg.'); 'sws all': swscale\n"
      "on the whole source; ratios: fastest set / swscale, each pair measured in alternation;\n"
      "'fill': memset of the display pixels the type writes, the ceiling set by the stores "
      "alone)\n\n");
  return FitTable(seconds, sets);
}
