// The streaming AVI reader behind "avistream.dll": reads the headers, then the "movi" data front
// to back, so it needs no "idx1" and never jumps back. The two streams are read from one
// forward pass: chunks of the stream that is not being asked for wait in a queue of their own.
//
// Frame buffers: the engine sizes them from MediaInfo's largestFrameBytes (at least 48,000
// bytes), so ReadVideoFrame places at most that many bytes; a larger frame is delivered as an
// empty one (0) and playing goes on with the next.
#pragma once

#include <cstdint>

#include "input/media_source.h"
#include "modules/ReaderCommon/input_io.h"

namespace mivora::avistream {

// Fills the table with the reader's eight operations.
void FillTable(mivora::MediaSource* table);

// Open over an input that is already loaded (tests and fuzzers pass one over memory). The
// reader calls io.open itself; io.close on Close. Result as Open.
std::int32_t OpenWithInput(const reader::InputIo& io, const char16_t* path,
                           std::int32_t cacheParameter, mivora::MediaInfo** info);

}  // namespace mivora::avistream
