// Paths arrive as UTF-16; libavformat opens UTF-8.
#pragma once

#include <string>

namespace mivora::mpeg {

// Unpaired surrogates become U+FFFD, so the result is always valid UTF-8.
std::string PathToUtf8(const char16_t* path);

}  // namespace mivora::mpeg
