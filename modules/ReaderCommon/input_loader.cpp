#include "modules/ReaderCommon/input_loader.h"

#include <dlfcn.h>

#include <string>

namespace mivora::reader {

namespace {

std::string OwnFolder() {
  Dl_info where{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &where) == 0 || where.dli_fname == nullptr) {
    return ".";
  }
  const std::string file = where.dli_fname;
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

template <typename Fn>
Fn Find(void* handle, const char* name) {
  return reinterpret_cast<Fn>(dlsym(handle, name));
}

}  // namespace

bool InputLoader::Load(std::int32_t mode, InputIo& io) {
  Unload();
  io = InputIo{};
  const std::string file = OwnFolder() + (mode != 0 ? "/InputMediaCache.so" : "/InputMedia.so");
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) return false;
  io.open = Find<decltype(io.open)>(handle_, "InputMediaOpen");
  io.read = Find<decltype(io.read)>(handle_, "InputMediaRead");
  io.seek = Find<decltype(io.seek)>(handle_, "InputMediaSeek");
  io.close = Find<decltype(io.close)>(handle_, "InputMediaClose");
  if (io.Complete()) return true;
  io = InputIo{};
  Unload();
  return false;
}

void InputLoader::Unload() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

}  // namespace mivora::reader
