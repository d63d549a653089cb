// Rewrites a stream's chunks the way DivX 5 stores B pictures in AVI files: a reference picture
// and the B picture after it share one chunk, and a placeholder (a picture not coded) takes the
// freed chunk, before the next reference. The number of chunks stays the same.
#pragma once

#include <cstdint>
#include <vector>

namespace mivora {

using Chunk = std::vector<std::uint8_t>;

// The picture type (0 I, 1 P, 2 B, 3 S) of the first picture header in the chunk, -1 for none.
int ChunkPictureType(const Chunk& chunk);
// timeResolution: the layer's, for the width of the placeholder's time field.
std::vector<Chunk> PackBPictures(const std::vector<Chunk>& chunks, int timeResolution);
// The layer's time resolution from the first layer header among the chunks (0 when none).
int StreamTimeResolution(const std::vector<Chunk>& chunks);

}  // namespace mivora
