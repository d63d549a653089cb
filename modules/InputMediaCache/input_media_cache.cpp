// InputMediaCache: local files and http:// addresses behind an LRU block cache sized by the
// open's cache parameter (see CachedLayout).
#include "modules/InputMediaCommon/cache_layout.h"
#include "modules/InputMediaCommon/entry_points.h"

namespace {
mivora::io::CacheLayout Layout(std::int32_t a, std::int32_t b) {
  return mivora::io::CachedLayout(a, b);
}
}  // namespace

MIVORA_INPUT_MEDIA_ENTRY_POINTS(Layout)
