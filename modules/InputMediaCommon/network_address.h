// Which paths the input modules read over the network rather than from local storage.
#pragma once

#include <string>
#include <string_view>

namespace mivora::io {

// True for "http://" and "https://" addresses (any letter case).
bool IsNetworkAddress(std::string_view path);

// The address with spaces, control and non-ASCII bytes (and the few others that may not appear
// raw in a request line) percent-encoded, as paths from playlists may hold them.
std::string EncodeAddress(std::string_view address);

}  // namespace mivora::io
