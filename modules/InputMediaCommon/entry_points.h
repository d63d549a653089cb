// Defines the four exported entry points of an input module over one static MediaSession.
// Each module's source file expands it once with its own cache layout.
#pragma once

#include <cstdint>

#include "modules/InputMediaCommon/media_session.h"

#define MIVORA_INPUT_MEDIA_ENTRY_POINTS(layout_fn)                                               \
  namespace {                                                                                    \
  mivora::io::MediaSession& Session() {                                                          \
    static mivora::io::MediaSession session(layout_fn);                                          \
    return session;                                                                              \
  }                                                                                              \
  }                                                                                              \
  extern "C" {                                                                                   \
  __attribute__((visibility("default"))) std::int32_t InputMediaOpen(const char16_t* path,       \
                                                                     std::int32_t, std::int32_t, \
                                                                     std::int32_t a,             \
                                                                     std::int32_t b) {           \
    return Session().Open(path, a, b);                                                           \
  }                                                                                              \
  __attribute__((visibility("default"))) std::int32_t InputMediaRead(void* buffer,               \
                                                                     std::int32_t count) {       \
    return Session().Read(buffer, count);                                                        \
  }                                                                                              \
  __attribute__((visibility("default"))) std::int32_t InputMediaSeek(std::int32_t offset,        \
                                                                     std::int32_t origin) {      \
    return Session().Seek(offset, origin);                                                       \
  }                                                                                              \
  __attribute__((visibility("default"))) std::int32_t InputMediaClose() {                        \
    return Session().Close();                                                                    \
  }                                                                                              \
  }
