// Sequence (video object layer) and picture (video object plane) headers, and the walk over the
// start codes in front of a picture.
#pragma once

#include "decoder/decoder_state.h"

namespace mivora::decoder {

// Bits of the time increment fields: the smallest n >= 1 with 2^n >= resolution.
int TimeIncrementBits(int timeResolution);

// An S picture's sprite trajectory: the first `points` (up to 3) warping points' differences,
// the rest zero.
void ReadWarpingPoints(BitReader& r, int points, int warping[3][2]);

// At a video object start code followed by a layer start code: reads the layer header and
// returns true. Otherwise false with nothing consumed.
bool ParseSequenceHeader(DecoderState& state);
// Aligns to a byte; at a picture start code reads the picture header (consumed) and returns true,
// otherwise false after consuming 32 bits.
bool ParsePictureHeader(DecoderState& state);

// The body of a layer header, read right after its start code.
void ParseLayerBody(DecoderState& state);
// The body of a picture header, read right after its start code. Sets state.unsupported for a
// picture type this decoder does not decode and state.damaged for invalid field values.
void ParsePictureBody(DecoderState& state);

enum class HeaderResult { Picture, NoPicture, Unsupported };

// From the start of a frame: passes over the visual object sequence, visual object, group,
// user data and other headers, reads any layer header, and stops after the picture header.
HeaderResult ReadFrameHeaders(DecoderState& state);

// After a picture: true when another picture header follows in the data (only stuffing and
// other headers in between); it has been read then (state.unsupported says if it can't be
// decoded).
bool NextPictureInChunk(DecoderState& state);

}  // namespace mivora::decoder
