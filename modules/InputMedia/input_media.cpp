// InputMedia: local files and http:// addresses through one 64 KiB read-ahead window.
#include "modules/InputMediaCommon/cache_layout.h"
#include "modules/InputMediaCommon/entry_points.h"

namespace {
// The plain module ignores the open's a and b.
mivora::io::CacheLayout Layout(std::int32_t, std::int32_t) {
  return mivora::io::PlainLayout();
}
}  // namespace

MIVORA_INPUT_MEDIA_ENTRY_POINTS(Layout)
