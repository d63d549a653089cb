#include "modules/InputMediaCommon/media_session.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>

#include "modules/InputMediaCommon/file_source.h"
#include "modules/InputMediaCommon/network_address.h"
#include "modules/InputMediaCommon/network_source.h"
#include "platform/wide_string.h"

namespace mivora::io {

std::int32_t MediaSession::Open(const char16_t* path, std::int32_t a, std::int32_t b) {
  std::lock_guard lock(mutex_);
  cache_.reset();
  source_.reset();
  position_ = 0;
  if (path == nullptr || *path == 0) return 0;
  const std::string name = platform::ToUtf8(path);
  const CacheLayout layout = layout_(a, b);
  std::unique_ptr<ByteSource> source;
  if (IsNetworkAddress(name)) {
    auto network = NetworkSource::Open(name, layout.block_bytes * layout.read_ahead_blocks);
    if (network && a < 0 && !network->seekable()) {
      // The header pass jumps to the index at the end of the file, which a server that ignores
      // Range cannot serve; failing here beats an open that finds no frames. Reading front to
      // back (any a >= 0) still works.
      std::fprintf(stderr,
                   "%s: the server ignores Range requests, so the index cannot be reached; "
                   "this address can only be read front to back\n",
                   name.c_str());
      return 0;
    }
    source = std::move(network);
  } else {
    source = FileSource::Open(name);
  }
  if (!source || source->Length() > INT32_MAX) return 0;
  const std::int64_t length = source->Length();
  cache_ = std::make_unique<BlockCache>(source.get(), layout.block_bytes, layout.capacity_blocks,
                                        layout.read_ahead_blocks);
  source_ = std::move(source);
  return length > 0 ? static_cast<std::int32_t>(length) : 1;
}

std::int32_t MediaSession::Read(void* buffer, std::int32_t count) {
  std::lock_guard lock(mutex_);
  if (!cache_ || buffer == nullptr || count <= 0) return 0;
  const std::int64_t n = cache_->Read(position_, static_cast<std::uint8_t*>(buffer), count);
  position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int32_t MediaSession::Seek(std::int32_t offset, std::int32_t origin) {
  std::lock_guard lock(mutex_);
  if (!source_) return -1;
  const std::int64_t length = source_->Length();
  std::int64_t target;
  switch (origin) {
    case 0:
      target = offset;
      break;
    case 1:
      target = position_ + offset;
      break;
    case 2:
      target = length + offset;
      break;
    default:
      return -1;
  }
  if (target < 0) return -1;
  position_ = std::min(target, length);
  return static_cast<std::int32_t>(position_);
}

std::int32_t MediaSession::Close() {
  std::lock_guard lock(mutex_);
  cache_.reset();
  source_.reset();
  position_ = 0;
  return 1;
}

}  // namespace mivora::io
