// The decoder's two bordered pictures (current and reference) in one allocation, and the record
// through which a finished picture is handed out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/decoded_frame.h"

namespace mivora::decoder {

// Each pointer addresses sample (0, 0) of its plane's picture area, inside the border.
struct Picture {
  std::uint8_t *y, *u, *v;
};

inline constexpr int kLumaBorder = 32;
inline constexpr int kChromaBorder = 16;

struct PictureStore {
  std::uint8_t* buffer = nullptr;
  std::size_t bytes = 0;
  int width = 0, height = 0;
  int stride = 0;        // luminance stride S; chrominance stride is S/2
  int paddedHeight = 0;  // luminance rows including borders H; chrominance H/2
  Picture current{}, reference{};
  int quarterSample = 0;  // luminance vectors in quarter samples (the layer's choice)
};

// Sizes the store for width x height and clears both pictures to black. Frees an earlier buffer
// first, so re-initialisation does not leak. False (store left empty) for a size out of range or
// when memory runs out.
bool AllocatePictures(PictureStore& store, int width, int height);
void ReleasePictures(PictureStore& store);
// Fills the borders of the three reference planes from their edges (before a P picture).
void ExtendReferenceEdges(PictureStore& store);
// The same for any picture of the store's layout.
void ExtendPictureEdges(const PictureStore& store, const Picture& picture);
// Words 0-5 from current, 7-9 from reference; reserved words untouched.
void FillDecodedFrame(const PictureStore& store, DecodedFrame* frame);
void SwapPictures(PictureStore& store);

}  // namespace mivora::decoder
