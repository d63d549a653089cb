// Video packets: the resynchronisation marker and packet header that split a picture into
// independently decodable runs of macroblocks, and the search for the next one after damage.
#pragma once

#include <cstddef>

#include "decoder/decoder_state.h"

namespace mivora::decoder {

// Zero bits of the resynchronisation marker (a one follows): 16 in I pictures, 15 + fcode in P.
inline int ResyncMarkerZeros(int pictureType, int fcode) {
  return pictureType == 0 ? 16 : 15 + fcode;
}

// Bits of macroblock_number: enough for the picture's highest macroblock number, at least 1.
int MacroblockNumberBits(int mbCount);

// Reads a packet header from its marker, which starts at the reader's byte boundary (the stuffing
// before it already passed). Sets the quantiser; returns the packet's first macroblock number, or
// -1 when the header cannot be right (number past the picture, zero quantiser).
int ReadVideoPacketHeader(DecoderState& state, int markerZeros);

// Passes the stuffing in front of a byte-aligned marker: the rest of the byte, or a whole byte
// when already on a boundary.
inline void SkipStuffing(BitReader& r) {
  if (r.BitPosition() == 0) {
    r.Consume(8);
  } else {
    r.AlignToByte();
  }
}

enum class ResyncPoint { Marker, StartCode, End };
// Looks at each byte boundary from the bit `from` on for a resynchronisation marker or a start
// code, and leaves the reader at the first one found (at the end of the data when none is).
ResyncPoint FindResyncPoint(BitReader& r, std::size_t from, int markerZeros);

// Makes the packet that starts at macroblock `first` the current one: the stored intra values of
// the macroblocks before it that later ones would predict from become "not available".
void BeginVideoPacket(DecoderState& state, int first);

}  // namespace mivora::decoder
