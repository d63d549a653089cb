// Reading a playlist file from disk, bounded: a playlist never needs more than its first MiB
// (100 entries), and a pipe or a device named like a playlist must not hold the player up.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mivora {

inline constexpr std::size_t kMostPlaylistFileBytes = 1024 * 1024;

// Up to kMostPlaylistFileBytes of the regular file at path into bytes; false when it is missing,
// not a regular file or cannot be read.
bool ReadPlaylistFileBytes(std::u16string_view path, std::string& bytes);

}  // namespace mivora
