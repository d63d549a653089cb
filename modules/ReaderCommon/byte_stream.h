// Forward reading over an input I/O module through one window, for readers that take a source
// front to back (a server that ignores Range can only send it that way). Skips read through
// the bytes; only JumpTo moves the input's position, and it checks that the input can serve the
// new place before giving up the old one.
#pragma once

#include <cstdint>
#include <vector>

#include "modules/ReaderCommon/input_io.h"

namespace mivora::reader {

class ByteStream {
 public:
  static constexpr std::int32_t kWindowBytes = 64 * 1024;

  // length: the source's length, or -1 when unknown. The input must stand at start.
  void Attach(const InputIo& io, std::int64_t start, std::int64_t length);
  void Detach();

  // Up to count bytes (fewer only at the end of the source or when it fails).
  std::int32_t Read(std::uint8_t* out, std::int32_t count);
  // Steps over count bytes by reading them; false when the source ended first.
  bool Skip(std::int64_t count);
  // At least min(wanted, what is left) bytes made contiguous at the returned address (wanted is
  // held to the window); *available tells how many. Nothing is consumed.
  const std::uint8_t* Peek(std::int32_t wanted, std::int32_t* available);

  std::int64_t Position() const { return windowStart_ + begin_; }
  std::int64_t Length() const { return length_; }
  bool AtEnd();

  // Continues reading at an absolute position. False, with the old position kept and still
  // readable, when the input cannot serve the new one.
  bool JumpTo(std::int64_t position);

 private:
  // Appends what one read of the input delivers; false at its end.
  bool Fill();

  InputIo io_;
  std::vector<std::uint8_t> window_;
  std::int64_t windowStart_ = 0;  // source position of window_[0]
  std::int32_t begin_ = 0;        // next unread byte
  std::int32_t end_ = 0;          // bytes held
  std::int64_t length_ = -1;
  bool ended_ = false;
};

}  // namespace mivora::reader
