#include "modules/ReaderCommon/byte_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace mivora::reader {

void ByteStream::Attach(const InputIo& io, std::int64_t start, std::int64_t length) {
  io_ = io;
  window_.assign(std::size_t(kWindowBytes), 0);
  windowStart_ = start;
  begin_ = end_ = 0;
  length_ = length;
  ended_ = false;
}

void ByteStream::Detach() {
  io_ = InputIo{};
  window_.clear();
  window_.shrink_to_fit();
  windowStart_ = 0;
  begin_ = end_ = 0;
  length_ = -1;
  ended_ = true;
}

bool ByteStream::Fill() {
  if (ended_ || io_.read == nullptr) return false;
  if (begin_ > 0 && (end_ == kWindowBytes || begin_ == end_)) {
    // Keep the unread tail at the front so a Peek can see it whole.
    std::memmove(window_.data(), window_.data() + begin_, std::size_t(end_ - begin_));
    windowStart_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == kWindowBytes) return true;
  const std::int32_t room = kWindowBytes - end_;
  const std::int32_t got = io_.read(window_.data() + end_, room);
  if (got <= 0) {
    ended_ = true;
    return false;
  }
  end_ += got > room ? room : got;
  return true;
}

std::int32_t ByteStream::Read(std::uint8_t* out, std::int32_t count) {
  std::int32_t total = 0;
  while (total < count) {
    if (begin_ == end_ && !Fill()) break;
    const std::int32_t n = std::min(count - total, end_ - begin_);
    std::memcpy(out + total, window_.data() + begin_, std::size_t(n));
    begin_ += n;
    total += n;
  }
  return total;
}

bool ByteStream::Skip(std::int64_t count) {
  while (count > 0) {
    if (begin_ == end_ && !Fill()) return false;
    const std::int64_t held = end_ - begin_;
    const std::int64_t n = count < held ? count : held;
    begin_ += static_cast<std::int32_t>(n);
    count -= n;
  }
  return true;
}

const std::uint8_t* ByteStream::Peek(std::int32_t wanted, std::int32_t* available) {
  if (wanted > kWindowBytes) wanted = kWindowBytes;
  while (end_ - begin_ < wanted) {
    // Fill moves the unread bytes to the front when the window is full.
    if (begin_ > 0 && end_ == kWindowBytes) {
      std::memmove(window_.data(), window_.data() + begin_, std::size_t(end_ - begin_));
      windowStart_ += begin_;
      end_ -= begin_;
      begin_ = 0;
    }
    if (!Fill()) break;
  }
  if (available != nullptr) *available = end_ - begin_;
  return window_.empty() ? nullptr : window_.data() + begin_;
}

bool ByteStream::AtEnd() {
  return begin_ == end_ && !Fill();
}

bool ByteStream::JumpTo(std::int64_t position) {
  if (position >= windowStart_ && position <= windowStart_ + end_) {
    begin_ = static_cast<std::int32_t>(position - windowStart_);
    return true;
  }
  if (io_.seek == nullptr || position < 0 || position > INT32_MAX) return false;
  if (length_ >= 0 && position >= length_) return false;
  const std::int64_t resume = windowStart_ + end_;  // where the input stands now
  std::uint8_t probe[16];
  if (io_.seek(static_cast<std::int32_t>(position), 0) == position) {
    const std::int32_t got = io_.read(probe, sizeof probe);
    if (got > 0) {
      windowStart_ = position;
      begin_ = 0;
      end_ = got > std::int32_t(sizeof probe) ? std::int32_t(sizeof probe) : got;
      std::memcpy(window_.data(), probe, std::size_t(end_));
      ended_ = false;
      return true;
    }
  }
  // The input could not serve it (a server without Range): go on where it stood.
  io_.seek(static_cast<std::int32_t>(resume), 0);
  return false;
}

}  // namespace mivora::reader
