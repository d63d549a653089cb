// The decoded picture a module hands to the engine and the one it handed before, as libavcodec
// frames. The engine's converters read one chrominance stride for U and V and exactly the
// opened picture size, so frames of another layout or size are converted to that first.
#pragma once

#include <cstdint>

#include "decoder/decoded_frame.h"

struct AVFrame;
struct SwsContext;

namespace mivora::libav {

class PicturePair {
 public:
  PicturePair() = default;
  PicturePair(const PicturePair&) = delete;
  PicturePair& operator=(const PicturePair&) = delete;
  ~PicturePair();

  // The size every described picture has; forgets the pictures held.
  void SetSize(int width, int height);
  // Takes the decoded frame's picture as the newest (frame is left empty). False when it could
  // not be converted; the pictures held are then unchanged.
  bool Accept(AVFrame* frame);
  // The newest picture and the one before it. Without a picture every plane is null (the
  // converters then draw nothing); previous planes are null when they cannot be compared.
  void Describe(DecodedFrame* out) const;
  // The newest picture again, as its own previous one: nothing changed since it was shown.
  void DescribeRepeat(DecodedFrame* out) const;
  bool HasPicture() const { return newest_ != nullptr; }
  void Clear();

 private:
  bool Fits(const AVFrame* frame) const;
  AVFrame* Convert(const AVFrame* frame);

  int width_ = 0;
  int height_ = 0;
  AVFrame* newest_ = nullptr;
  AVFrame* previous_ = nullptr;
  SwsContext* scaler_ = nullptr;
};

}  // namespace mivora::libav
