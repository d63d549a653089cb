// ".m3u" and ".m3u8" playlists, as media players write them today: UTF-8 text, one path or
// address a line, "#" lines (#EXTM3U, #EXTINF) and blank lines between them.
#pragma once

#include <string_view>

namespace mivora {

// True when path ends with ".m3u" or ".m3u8" in any letter case.
bool IsM3uPath(std::u16string_view path);

// Appends the entries of text to the playlist, as ReadPlaylist does: up to 100 entries in all,
// an entry whose path comes to 200 characters or more left out (a cut path names another file).
// Lines may end with LF, CR LF or CR; the last line needs no end. Addresses ("scheme://") are
// kept, "file://" addresses become local paths, relative paths are taken from folder (the
// playlist's own; nothing is added when empty), and a leading byte-order mark is passed over.
// Invalid UTF-8 becomes U+FFFD, so such a path fails to load and the player moves on.
void ReadM3u(std::string_view text, std::u16string_view folder);

// Reads the file at path (its first MiB) and appends its entries; false when it can't be read.
bool ReadM3uFile(std::u16string_view path);

}  // namespace mivora
