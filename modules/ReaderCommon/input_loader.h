// Loads the input I/O module a reader module reads through ("InputMedia" for mode 0,
// "InputMediaCache" otherwise). Modules sit beside each other, so it is looked up in the folder
// of the reader module itself, not of the program that loaded it.
#pragma once

#include <cstdint>

#include "modules/ReaderCommon/input_io.h"

namespace mivora::reader {

class InputLoader {
 public:
  ~InputLoader() { Unload(); }
  // False (nothing kept) when the module is missing or lacks an entry point.
  bool Load(std::int32_t mode, InputIo& io);
  void Unload();
  bool Loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace mivora::reader
