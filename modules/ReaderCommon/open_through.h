// The two ways a reader module's source opens: through the input module its mode names, or
// through an input set handed over (tests, fuzzers). Either way a failed open keeps nothing.
#pragma once

#include <cstdint>

#include "modules/ReaderCommon/input_io.h"
#include "modules/ReaderCommon/input_loader.h"

namespace mivora::reader {

// `openLoaded` reads the headers once `io` is set; 0 means it failed.
template <typename OpenLoaded>
std::int32_t OpenThroughModule(InputLoader& loader, InputIo& io, const char16_t* path,
                               std::int32_t mode, OpenLoaded openLoaded) {
  if (path == nullptr || !loader.Load(mode, io)) return 0;
  const std::int32_t opened = openLoaded();
  if (opened == 0) {
    loader.Unload();
    io = InputIo{};
  }
  return opened;
}

template <typename OpenLoaded>
std::int32_t OpenThroughInput(const InputIo& given, InputIo& io, const char16_t* path,
                              OpenLoaded openLoaded) {
  if (path == nullptr || !given.Complete()) return 0;
  io = given;
  return openLoaded();
}

}  // namespace mivora::reader
