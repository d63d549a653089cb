// The FourCCs of MPEG-4 Visual video: the two the built-in decoder always takes, and those other
// encoders write for the same video, which it takes when the player is told to.
#pragma once

namespace mivora::decoder {

// "DIVX" and "divx".
bool IsDivxFourcc(const char* fourcc);
// Xvid, DivX 5 and other writers of the same video: "XVID", "xvid", "DX50", "dx50", "FMP4",
// "fmp4", "MP4V", "mp4v", "3IV2", "3iv2", "DIV5"... (exact, case-sensitive).
bool IsOtherMpeg4Fourcc(const char* fourcc);

}  // namespace mivora::decoder
