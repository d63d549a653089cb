// Nanoseconds per call of each decoder kernel (inverse transform by block kind, the sixteen
// prediction routines and the averaging versions of the interpolating ones, the border fill of a
// luminance and a chrominance plane) for every kernel set this processor runs, with the speed-up
// over the portable set.
// usage: bench-kernels [MILLISECONDS_PER_KERNEL]   (default 200)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "decoder/dsp.h"
#include "tools/bench_budget.h"

namespace {

using namespace mivora::decoder;
using Clock = std::chrono::steady_clock;

// Keeps the compiler from dropping the kernels' results.
volatile std::uint8_t g_sink;

// Runs body in batches of 1024 calls until the time budget is spent; returns ns per call of the
// fastest batch, which on a shared machine is the one least disturbed by other work.
double Measure(const std::function<void(int)>& body, double budgetMs) {
  constexpr int kBatch = 1024;
  double best = 1e300, elapsed = 0;
  body(kBatch);  // warm-up
  while (elapsed < budgetMs * 1e6) {
    const auto start = Clock::now();
    body(kBatch);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    elapsed += ns;
    best = std::min(best, ns / kBatch);
  }
  return best;
}

struct Kernel {
  std::string name;
  std::function<std::function<void(int)>(const DecoderDsp&)> make;
};

// A pool of coefficient blocks of one kind, each as its non-zero (position, value) entries. The
// transform leaves its block cleared, so every call stores one block's entries one by one into
// the same block first, as the coefficient reader does (the stores are timed in every set alike).
struct BlockPool {
  std::vector<std::pair<int, std::int16_t>> entries;
  std::vector<int> start;  // block b: entries[start[b] .. start[b + 1])
};

BlockPool Blocks(const char* kind, std::mt19937& rng) {
  constexpr int kCount = 256;
  BlockPool pool;
  const std::string k = kind;
  for (int b = 0; b < kCount; ++b) {
    pool.start.push_back(static_cast<int>(pool.entries.size()));
    std::int16_t c[64] = {};
    auto value = [&] { return static_cast<std::int16_t>(static_cast<int>(rng() % 511) - 255); };
    if (k == "dc") {
      c[0] = value();
    } else if (k == "sparse") {  // a DC value and a few low frequencies
      c[0] = value();
      for (int i = 0; i < 3; ++i) c[8 * (rng() % 3) + rng() % 3] = value();
    } else {
      for (int i = 0; i < 64; ++i) c[i] = value();
    }
    for (int i = 0; i < 64; ++i)
      if (c[i]) pool.entries.push_back({i, c[i]});
  }
  pool.start.push_back(static_cast<int>(pool.entries.size()));
  return pool;
}

}  // namespace

int main(int argc, char** argv) {
  double budgetMs;
  if (!mivora::tools::ReadBudget(
          argc, argv, 200, "bench-kernels [MILLISECONDS_PER_KERNEL]   (default 200)", &budgetMs))
    return 2;
  std::mt19937 rng(1);
  constexpr int kStride = 248;
  static std::uint8_t picture[64 * kStride];
  for (auto& s : picture) s = static_cast<std::uint8_t>(rng());

  std::vector<Kernel> kernels;
  for (const char* kind : {"dc", "sparse", "dense"}) {
    for (int add = 0; add < 2; ++add) {
      auto pool = std::make_shared<BlockPool>(Blocks(kind, rng));
      kernels.push_back(
          {std::string(add ? "idct_add " : "idct_put ") + kind, [pool, add](const DecoderDsp& dsp) {
             const IdctFn fn = add ? dsp.idctAdd : dsp.idctPut;
             return std::function<void(int)>([pool, fn](int n) {
               alignas(32) static std::int16_t block[64];
               for (int i = 0; i < n; ++i) {
                 const int b = i & 255;
                 for (int e = pool->start[b]; e < pool->start[b + 1]; ++e)
                   block[pool->entries[e].first] = pool->entries[e].second;
                 fn(block, picture + 8 * kStride + 8 * (i & 15), kStride);
               }
               g_sink = picture[8 * kStride + 8];
             });
           }});
    }
  }
  static const char* kPredictNames[16] = {
      "copy8",  "h8 r0",  "v8 r0",  "hv8 r0",  "copy8 r1",  "h8 r1",  "v8 r1",  "hv8 r1",
      "copy16", "h16 r0", "v16 r0", "hv16 r0", "copy16 r1", "h16 r1", "v16 r1", "hv16 r1"};
  for (int sel = 0; sel < 16; ++sel) {
    kernels.push_back({std::string("predict ") + kPredictNames[sel], [sel](const DecoderDsp& dsp) {
                         const PredictFn fn = dsp.predict[sel];
                         return std::function<void(int)>([fn](int n) {
                           // Sources at every offset, as vectors put them.
                           for (int i = 0; i < n; ++i)
                             fn(picture + (i & 31), picture + 32 * kStride + 16 * (i & 7), kStride);
                           g_sink = picture[32 * kStride];
                         });
                       }});
  }
  // The averaging versions (B pictures) of the interpolating entries; the copies are left out.
  for (int sel = 0; sel < 16; ++sel) {
    if (sel % 4 == 0) continue;
    kernels.push_back(
        {std::string("predict_avg ") + kPredictNames[sel], [sel](const DecoderDsp& dsp) {
           const PredictFn fn = dsp.predictAverage[sel];
           return std::function<void(int)>([fn](int n) {
             for (int i = 0; i < n; ++i)
               fn(picture + (i & 31), picture + 32 * kStride + 16 * (i & 7), kStride);
             g_sink = picture[32 * kStride];
           });
         }});
  }
  static const int kQpelSelectors[] = {QpelSelector(16, 0, 1, 0), QpelSelector(16, 0, 2, 2),
                                       QpelSelector(16, 0, 3, 1), QpelSelector(8, 1, 1, 3)};
  static const char* kQpelNames[] = {"qpel16 (1,0)", "qpel16 (2,2)", "qpel16 (3,1)",
                                     "qpel8 r1 (1,3)"};
  for (int q = 0; q < 4; ++q) {
    kernels.push_back({kQpelNames[q], [q](const DecoderDsp& dsp) {
                         const PredictFn fn = dsp.qpel[kQpelSelectors[q]];
                         return std::function<void(int)>([fn](int n) {
                           for (int i = 0; i < n; ++i)
                             fn(picture + (i & 31), picture + 32 * kStride + 16 * (i & 7), kStride);
                           g_sink = picture[32 * kStride];
                         });
                       }});
  }
  for (int intra = 0; intra < 2; ++intra) {
    kernels.push_back(
        {intra ? "dequant mpeg intra" : "dequant mpeg inter", [intra](const DecoderDsp& dsp) {
           const DequantFn fn = intra ? dsp.dequantIntra : dsp.dequantInter;
           return std::function<void(int)>([fn](int n) {
             static std::uint8_t weights[64];
             alignas(16) std::int16_t block[64];
             for (int k = 0; k < 64; ++k) weights[k] = static_cast<std::uint8_t>(16 + k);
             for (int i = 0; i < n; ++i) {
               for (int k = 0; k < 64; k += 9) block[k] = static_cast<std::int16_t>(i - k);
               fn(block, weights, 1 + (i & 15));
             }
             g_sink = block[63];
           });
         }});
  }
  for (int big = 0; big < 2; ++big) {
    kernels.push_back({big ? "average16" : "average8", [big](const DecoderDsp& dsp) {
                         const PredictFn fn = dsp.average[big];
                         return std::function<void(int)>([fn](int n) {
                           for (int i = 0; i < n; ++i)
                             fn(picture + (i & 31), picture + 32 * kStride + 16 * (i & 7), kStride);
                           g_sink = picture[32 * kStride];
                         });
                       }});
  }
  for (int big = 0; big < 2; ++big) {
    kernels.push_back({big ? "warp16 (5,11)" : "warp8 (5,11)", [big](const DecoderDsp& dsp) {
                         const WarpFn fn = dsp.warp[big];
                         return std::function<void(int)>([fn](int n) {
                           for (int i = 0; i < n; ++i)
                             fn(picture + (i & 31), picture + 32 * kStride + 16 * (i & 7), kStride,
                                5, 11, i & 1);
                           g_sink = picture[32 * kStride];
                         });
                       }});
  }
  static std::vector<std::uint8_t> plane(static_cast<std::size_t>(784) * 640);
  kernels.push_back({"extend 720x576 luma", [](const DecoderDsp& dsp) {
                       return std::function<void(int)>([fn = dsp.extendEdges](int n) {
                         for (int i = 0; i < n; ++i) fn(plane.data(), 784, 640, 32);
                         g_sink = plane[0];
                       });
                     }});
  kernels.push_back({"extend 720x576 chroma", [](const DecoderDsp& dsp) {
                       return std::function<void(int)>([fn = dsp.extendEdges](int n) {
                         for (int i = 0; i < n; ++i) fn(plane.data(), 392, 320, 16);
                         g_sink = plane[0];
                       });
                     }});

  const auto variants = AvailableDsps();
  std::printf("%-22s", "ns per call");
  for (const auto& v : variants) std::printf(" %10s", v.name);
  std::printf(" %8s\n", "speed-up");
  for (const auto& k : kernels) {
    std::printf("%-22s", k.name.c_str());
    double first = 0, last = 0;
    for (const auto& v : variants) {
      last = Measure(k.make(v.dsp), budgetMs);
      if (first == 0) first = last;
      std::printf(" %10.1f", last);
    }
    std::printf(" %7.2fx\n", first / last);
  }
  return 0;
}
