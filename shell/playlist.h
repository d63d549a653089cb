// The item being played and the playlist it may come from: up to 100 entries of up to 199
// characters, read from ".pdl" text (UTF-16 lines ended by a carriage return and one more
// character), a multiple selection or an ".m3u" file (shell/m3u_playlist.h), played in order or
// shuffled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mivora {

inline constexpr int kPlaylistEntries = 100;
inline constexpr int kPathChars = 200;  // with the terminator

struct Playlist {
  char16_t entries[kPlaylistEntries][kPathChars] = {};
  std::int32_t playlistCount = 0;  // 0 = no playlist
  std::int32_t playlistIndex = 0;
};
Playlist& ThePlaylist();

// The path or address handed to the loading step; empty = no item.
std::u16string CurrentPath();
void SetCurrentPath(std::u16string_view path);
// True when path begins with "http://" or "https://".
bool IsStreamPath(std::u16string_view path);

// Appends the lines of text (characters wide characters) to the playlist. A last line without a
// carriage return is not taken; lines of 200 characters or more and lines past the 100th are
// left out.
void ReadPlaylist(const char16_t* text, std::size_t characters);
// Reads a playlist file into the playlist: an ".m3u"/".m3u8" file (IsM3uPath) as such, any other
// as ".pdl" text (UTF-16 little-endian). Only the first MiB of a file is read; false when it
// can't be read (missing, not a regular file).
bool ReadPlaylistFile(std::u16string_view path);
// True for the paths ReadPlaylistFile is for: containing ".pdl", or ending with ".m3u"/".m3u8".
bool IsPlaylistPath(std::u16string_view path);
// playlistIndex := 0, or a random entry with Shuffle; the current path := that entry, isStream set.
void ChooseFirstItem();
// The next entry (in order, or a random other one with Shuffle) becomes the current path;
// isStream and autoStart are set.
void NextPlaylistItem();
void ClearPlaylist();

}  // namespace mivora
