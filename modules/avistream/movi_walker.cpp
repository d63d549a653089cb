#include "modules/avistream/movi_walker.h"

#include <algorithm>
#include <cstring>

#include "modules/avistream/key_frame.h"
#include "modules/avistream/riff.h"

namespace mivora::avistream {

namespace {

bool IsGroup(const std::uint8_t* p) {
  return (IsId(p, "LIST") && (IsId(p + 8, "movi") || IsId(p + 8, "rec "))) ||
         (IsId(p, "RIFF") && IsId(p + 8, "AVIX"));
}

}  // namespace

void MoviWalker::Start(reader::ByteStream* stream, int videoStream, int audioStream,
                       const char* fourcc) {
  stream_ = stream;
  videoStream_ = videoStream;
  audioStream_ = audioStream;
  std::memcpy(fourcc_, fourcc, 4);
}

bool MoviWalker::IsOurs(const std::uint8_t* h, bool videoOnly, bool audioOnly) const {
  const int number = StreamNumber(h);
  if (number < 0) return false;
  const bool video = number == videoStream_ && h[2] == 'd' && (h[3] == 'c' || h[3] == 'b');
  const bool audio = number == audioStream_ && h[2] == 'w' && h[3] == 'b';
  if (videoOnly) return video;
  if (audioOnly) return audio;
  return video || audio;
}

bool MoviWalker::SizeFits(std::uint32_t size) const {
  if (size > kMaxChunkBytes) return false;
  const std::int64_t length = stream_->Length();
  return length < 0 || stream_->Position() + 8 + std::int64_t(size) <= length;
}

bool MoviWalker::Resync() {
  std::int64_t searched = 0;
  // Step off the header that lost the walk, then look at every byte position.
  if (!stream_->Skip(1)) return false;
  while (searched < kSearchBytes) {
    std::int32_t available = 0;
    const std::uint8_t* p = stream_->Peek(reader::ByteStream::kWindowBytes, &available);
    if (p == nullptr || available < 12) return false;
    for (std::int32_t i = 0; i + 12 <= available; ++i) {
      const std::uint8_t* h = p + i;
      const bool media = IsOurs(h, false, false) && U32(h + 4) <= kMaxChunkBytes;
      if (media || IsGroup(h)) {
        stream_->Skip(i);
        return true;
      }
    }
    const std::int32_t step = available - 11;
    searched += step;
    if (!stream_->Skip(step)) return false;
  }
  return false;
}

MediaChunk MoviWalker::Next() {
  for (;;) {
    std::int32_t available = 0;
    const std::uint8_t* h = stream_->Peek(12, &available);
    if (h == nullptr || available < 8) return {};
    const std::uint32_t size = U32(h + 4);
    if (!PlausibleId(h)) {
      if (!Resync()) return {};
      continue;
    }
    if (available >= 12 && IsGroup(h)) {
      stream_->Skip(12);  // a group's contents are walked like the rest
      continue;
    }
    if (IsOurs(h, false, false)) {
      const std::int64_t position = stream_->Position();
      std::uint32_t data = size;
      if (data > kMaxChunkBytes) {
        if (!Resync()) return {};
        continue;
      }
      const std::int64_t length = stream_->Length();
      // The last chunk of a cut-off file keeps what arrived.
      if (length >= 0 && position + 8 + std::int64_t(data) > length) {
        const std::int64_t left = length - position - 8;
        data = left > 0 ? static_cast<std::uint32_t>(left) : 0;
      }
      stream_->Skip(8);
      const bool video = StreamNumber(h) == videoStream_ && h[2] == 'd';
      MediaChunk chunk;
      chunk.kind = video ? ChunkKind::Video : ChunkKind::Audio;
      chunk.position = position;
      chunk.size = data;
      chunk.padding = data == size ? (size & 1u) : 0;
      return chunk;
    }
    // Anything else (JUNK, indexes, other streams, other lists) is stepped over, unless its size
    // cannot be right: then the walk has lost its place.
    if (!SizeFits(size)) {
      if (!Resync()) return {};
      continue;
    }
    if (!stream_->Skip(8 + std::int64_t(size) + (size & 1u))) return {};
  }
}

void MoviWalker::Finish(const MediaChunk& chunk) {
  if (chunk.padding != 0) {
    // Some writers leave odd chunks unpadded: a stream chunk starting right here means there is
    // no pad byte to step over.
    std::int32_t available = 0;
    const std::uint8_t* p = stream_->Peek(4, &available);
    if (p != nullptr && available >= 4 && StreamNumber(p) >= 0 && PlausibleId(p)) return;
    stream_->Skip(1);
  }
}

bool MoviWalker::FindSeekPoint(bool audioOnly) {
  std::int64_t searched = 0;
  while (searched < kSearchBytes) {
    std::int32_t available = 0;
    const std::uint8_t* p = stream_->Peek(reader::ByteStream::kWindowBytes, &available);
    if (p == nullptr || available < 16) return false;
    for (std::int32_t i = 0; i + 16 <= available; ++i) {
      const std::uint8_t* h = p + i;
      if (!IsOurs(h, !audioOnly, audioOnly)) continue;
      const std::uint32_t size = U32(h + 4);
      if (size == 0 || size > kMaxChunkBytes) continue;
      const std::int64_t next = std::int64_t(i) + 8 + size + (size & 1u);
      // Two chunks in a row: a stray byte pattern inside a frame rarely has a chunk behind it.
      if (next + 4 <= available && !PlausibleId(p + next)) continue;
      const std::int32_t data =
          static_cast<std::int32_t>(std::min<std::int64_t>(size, std::int64_t(available) - i - 8));
      if (!audioOnly && !IsKeyFramePayload(fourcc_, h + 8, std::size_t(data))) continue;
      stream_->Skip(i);
      return true;
    }
    const std::int32_t step = available - 15;
    searched += step;
    if (!stream_->Skip(step)) return false;
  }
  return false;
}

}  // namespace mivora::avistream
