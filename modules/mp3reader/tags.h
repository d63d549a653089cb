// The tags around the audio of an MP3 file: ID3v2 in front (with its footer), ID3v1 and APE at
// the end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivora::mp3 {

// Bytes of the ID3v2 tag that starts at p (header, extended header, frames, padding and footer
// alike), or 0 when none starts there. available: bytes readable at p (10 are enough).
std::int64_t Id3v2TagBytes(const std::uint8_t* p, std::size_t available);

// Bytes of the tags that end a source whose last bytes are tail[0 .. length): an ID3v1 tag
// (128 bytes, "TAG"), an APE tag before it or alone (its footer "APETAGEX", with its header when
// it says so), in either order of discovery. Never more than length.
std::int64_t TrailingTagBytes(const std::uint8_t* tail, std::size_t length);

}  // namespace mivora::mp3
