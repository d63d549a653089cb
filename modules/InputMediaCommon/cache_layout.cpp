#include "modules/InputMediaCommon/cache_layout.h"

#include <algorithm>

namespace mivora::io {
namespace {
constexpr std::int64_t kMinCacheKiB = 512;
constexpr std::int64_t kMaxCacheKiB = 256 * 1024;
constexpr std::int64_t kDefaultCacheKiB = 8 * 1024;
constexpr std::int64_t kHeaderPassKiB = 4 * 1024;
constexpr std::int64_t kReadAheadBlocks = 4;
}  // namespace

CacheLayout PlainLayout() {
  return CacheLayout{kBlockBytes, 1, 1};
}

CacheLayout CachedLayout(std::int32_t a, std::int32_t b) {
  std::int64_t kib =
      b <= 0 ? kDefaultCacheKiB : std::clamp<std::int64_t>(b, kMinCacheKiB, kMaxCacheKiB);
  if (a < 0) kib = std::min(kib, kHeaderPassKiB);
  return CacheLayout{kBlockBytes, kib * 1024 / kBlockBytes, kReadAheadBlocks};
}

}  // namespace mivora::io
