// An input I/O module over bytes in memory, for tests and fuzzers that drive a reader without
// loading InputMedia. One source at a time, like the real modules.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modules/ReaderCommon/input_io.h"

namespace mivora::reader {

// The bytes must outlive every read. sequentialOnly: reads anywhere but where the last read
// ended fail, as over a server that ignores Range.
void SetMemoryInput(const std::uint8_t* data, std::size_t size, bool sequentialOnly = false);
InputIo MemoryInput();

}  // namespace mivora::reader
