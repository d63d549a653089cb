// UTF-16 text as the player uses it everywhere, with conversion to UTF-8 only where the
// operating system needs bytes (file names, dlopen, sockets, terminal output).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mivora::platform {

// Length of a NUL-terminated wide string; 0 for null.
std::size_t WideLength(const char16_t* text);

// Lossless for valid UTF-16; unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view text);
// Invalid UTF-8 sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

}  // namespace mivora::platform
