// Fuzzes the built-in decoder. Input: two little-endian 16-bit words choose the picture size (the
// lowest bit of the first also turns packet concealment off, the second bit of the last packs B
// pictures with the picture before them), the rest is the compressed stream, cut into frames
// before every picture start code but the first (so the sequence headers travel with the first
// picture, as in an AVI). The end of the stream is signalled as the engine's tools do, so pictures
// still waiting in display order come out too. Pictures and input are kept small so that a run
// takes well under a millisecond: the paths under test do not depend on the size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/decoder_entry.h"
#include "decoder/decore.h"

namespace {

constexpr std::size_t kMaxFrames = 16;
constexpr std::size_t kMaxInput = 4096;

bool PictureStartAt(const std::uint8_t* p, std::size_t left) {
  return left >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 1 && p[3] == 0xB6;
}

bool BPictureAt(const std::uint8_t* p, std::size_t left) {
  return left >= 5 && (p[4] >> 6) == 2;
}

// Reads the edges of every plane the decoder hands out (first and last row, first and last
// column), so a wrong plane pointer or stride shows up here. Not every sample: each comparison of
// a loop this long is traced by the fuzzer, and reading whole pictures took most of each run.
unsigned Edges(const std::uint8_t* plane, std::intptr_t stride, int width, int height) {
  unsigned sum = 0;
  for (int c = 0; c < width; ++c) sum += plane[c] + plane[(height - 1) * stride + c];
  for (int r = 0; r < height; ++r) sum += plane[r * stride] + plane[r * stride + width - 1];
  return sum;
}

unsigned Touch(const mivora::DecodedFrame& f, int width, int height) {
  if (!f.y) return 0;
  const int cw = (width + 1) / 2, ch = (height + 1) / 2;
  return Edges(f.y, f.strideY, width, height) + Edges(f.u, f.strideU, cw, ch) +
         Edges(f.v, f.strideV, cw, ch);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  // Up to 176 x 144, odd sizes and refused ones included.
  const int width = 1 + ((data[0] | data[1] << 8) >> 1) % 176;
  const int height = 1 + (data[2] | data[3] << 8) % 144;
  mivora::SetPacketConcealment(!(data[0] & 1));
  mivora::SetBackwardTexture(!(data[3] & 4));
  const bool packB = (data[3] & 2) != 0;
  data += 4;
  size -= 4;
  if (size > kMaxInput) size = kMaxInput;

  std::vector<std::size_t> cuts{0};
  bool seenPicture = false;
  for (std::size_t i = 0; i + 4 <= size && cuts.size() < kMaxFrames; ++i) {
    if (!PictureStartAt(data + i, size - i)) continue;
    if (seenPicture && !(packB && BPictureAt(data + i, size - i))) cuts.push_back(i);
    seenPicture = true;
  }
  cuts.push_back(size);

  mivora::DecoderParams params{width, height, 0, 5, 0};
  mivora::decore(0, mivora::kDecoreInit, &params, nullptr);
  volatile unsigned sink = 0;
  for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
    // An exact-size copy, so any read past the frame's end is caught.
    std::vector<std::uint8_t> frame(data + cuts[k], data + cuts[k + 1]);
    mivora::DecodedFrame out;
    mivora::decore_frame(frame.data(), static_cast<std::int32_t>(frame.size()), &out, 1, 0);
    sink = sink + Touch(out, width, height);
  }
  for (int k = 0; k < 3; ++k) {
    mivora::DecodedFrame out;
    mivora::decore_frame(nullptr, 0, &out, 1, 0);
    sink = sink + Touch(out, width, height);
  }
  mivora::decore(0, mivora::kDecoreRelease, nullptr, nullptr);
  return 0;
}
