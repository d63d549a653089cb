#include "decoder/block_writer.h"

#include <cstddef>

#include "decoder/dsp.h"

namespace mivora::decoder {

void WriteBlock(PictureStore& store, std::int16_t* block, int blockIndex, int mbx, int mby,
                bool add) {
  const auto& dsp = Dsp();
  std::uint8_t* dst;
  std::ptrdiff_t stride;
  if (blockIndex < 4) {
    stride = store.stride;
    dst = store.current.y + (16 * mby + 8 * (blockIndex >> 1)) * stride + 16 * mbx +
          8 * (blockIndex & 1);
  } else {
    stride = store.stride >> 1;
    dst = (blockIndex == 4 ? store.current.u : store.current.v) + 8 * mby * stride + 8 * mbx;
  }
  (add ? dsp.idctAdd : dsp.idctPut)(block, dst, stride);
}

}  // namespace mivora::decoder
