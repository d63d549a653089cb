#include "tools/decode/packed_chunks.h"

#include "decoder/decoder_state.h"
#include "decoder/headers.h"

namespace mivora {
namespace {

// A P picture header with vop_coded 0 and the stuffing that ends it.
Chunk Placeholder(int timeResolution) {
  const int t = decoder::TimeIncrementBits(timeResolution);
  // type 01, modulo_time_base 0, marker, time increment 0, marker, vop_coded 0
  std::uint64_t bits = 0;
  int count = 0;
  auto put = [&](std::uint64_t v, int n) {
    bits = (bits << n) | v;
    count += n;
  };
  put(1, 2);
  put(0, 1);
  put(1, 1);
  put(0, t);
  put(1, 1);
  put(0, 1);
  put(0, 1);  // stuffing: a zero, then ones to the byte boundary
  while (count % 8) put(1, 1);
  Chunk c{0, 0, 1, 0xB6};
  for (int i = count - 8; i >= 0; i -= 8) c.push_back(static_cast<std::uint8_t>(bits >> i));
  return c;
}

}  // namespace

int ChunkPictureType(const Chunk& c) {
  for (std::size_t i = 0; i + 4 < c.size(); ++i)
    if (c[i] == 0 && c[i + 1] == 0 && c[i + 2] == 1 && c[i + 3] == 0xB6) return c[i + 4] >> 6;
  return -1;
}

int StreamTimeResolution(const std::vector<Chunk>& chunks) {
  for (const Chunk& c : chunks) {
    for (std::size_t i = 0; i + 4 < c.size(); ++i) {
      if (c[i] != 0 || c[i + 1] != 0 || c[i + 2] != 1 || (c[i + 3] & 0xF0) != 0x20) continue;
      decoder::DecoderState state;
      state.reader.Reset(c.data() + i + 4, c.size() - i - 4);
      decoder::ParseLayerBody(state);
      return state.sequence.timeResolution;
    }
  }
  return 0;
}

std::vector<Chunk> PackBPictures(const std::vector<Chunk>& chunks, int timeResolution) {
  std::vector<Chunk> out;
  bool placeholderOwed = false;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const int type = ChunkPictureType(chunks[i]);
    if (type != 2 && placeholderOwed) {
      out.push_back(Placeholder(timeResolution));
      placeholderOwed = false;
    }
    if (type != 2 && !out.empty() && i + 1 < chunks.size() &&
        ChunkPictureType(chunks[i + 1]) == 2) {
      Chunk both = chunks[i];
      both.insert(both.end(), chunks[i + 1].begin(), chunks[i + 1].end());
      out.push_back(std::move(both));
      placeholderOwed = true;
      ++i;
      continue;
    }
    out.push_back(chunks[i]);
  }
  if (placeholderOwed) out.push_back(Placeholder(timeResolution));
  return out;
}

}  // namespace mivora
