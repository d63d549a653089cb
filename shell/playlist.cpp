#include "shell/playlist.h"

#include <mutex>
#include <vector>

#include "engine/player_state.h"
#include "platform/sync.h"
#include "platform/wide_string.h"
#include "shell/m3u_playlist.h"
#include "shell/player_options.h"
#include "shell/playlist_file.h"

namespace mivora {

namespace {

std::mutex& PathLock() {
  static std::mutex lock;
  return lock;
}
std::u16string& PathStore() {
  static std::u16string path;
  return path;
}

// The platform's small generator: 15-bit values, seeded by the tick count.
struct Random {
  std::uint32_t state = 1;
  // Mixed with the state so far: two draws within one tick still differ.
  void Seed(std::uint32_t seed) { state ^= seed * 2654435761u; }
  std::int32_t Next() {
    state = state * 214013u + 2531011u;
    return static_cast<std::int32_t>((state >> 16) & 0x7FFF);
  }
};
Random& Generator() {
  static Random random;
  return random;
}

// r / 32767 scaled to the entries; r = 32767 would give one past the last entry, so the index is
// held to the last one.
std::int32_t DrawIndex(std::int32_t count) {
  const auto index =
      static_cast<std::int32_t>(double(Generator().Next()) * (1.0 / 32767.0) * double(count));
  return index < count ? index : count - 1;
}

void TakeEntry(std::int32_t index) {
  const Playlist& list = ThePlaylist();
  SetCurrentPath(list.entries[index]);
  State().isStream = IsStreamPath(CurrentPath()) ? 1 : 0;
}

}  // namespace

Playlist& ThePlaylist() {
  static Playlist list;
  return list;
}

std::u16string CurrentPath() {
  std::lock_guard<std::mutex> hold(PathLock());
  return PathStore();
}

void SetCurrentPath(std::u16string_view path) {
  std::lock_guard<std::mutex> hold(PathLock());
  PathStore().assign(path.substr(0, kPathChars - 1));
}

bool IsStreamPath(std::u16string_view path) {
  return path.substr(0, 7) == u"http://" || path.substr(0, 8) == u"https://";
}

void ReadPlaylist(const char16_t* text, std::size_t characters) {
  Playlist& list = ThePlaylist();
  const char16_t* p = text;
  const char16_t* end = text + characters;
  while (p < end) {
    const char16_t* cr = p;
    while (cr < end && *cr != u'\r') ++cr;
    if (cr == end) break;  // a last line without its carriage return is not taken
    const std::size_t length = std::size_t(cr - p);
    // Lines that don't fit an entry are left out rather than cut: a cut path names another file.
    if (list.playlistCount < kPlaylistEntries && length < std::size_t(kPathChars)) {
      char16_t* entry = list.entries[list.playlistCount];
      std::copy(p, cr, entry);
      entry[length] = 0;
      ++list.playlistCount;
    }
    p = end - cr > 2 ? cr + 2 : end;  // past the return and the character after it
  }
}

bool ReadPlaylistFile(std::u16string_view path) {
  if (IsM3uPath(path)) return ReadM3uFile(path);
  std::string bytes;
  if (!ReadPlaylistFileBytes(path, bytes)) return false;
  std::vector<char16_t> text(bytes.size() / 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = char16_t(std::uint8_t(bytes[2 * i]) | (std::uint8_t(bytes[2 * i + 1]) << 8));
  }
  ReadPlaylist(text.data(), text.size());
  return true;
}

bool IsPlaylistPath(std::u16string_view path) {
  return path.find(u".pdl") != std::u16string_view::npos || IsM3uPath(path);
}

void ChooseFirstItem() {
  Playlist& list = ThePlaylist();
  list.playlistIndex = 0;
  if (list.playlistCount == 0) {
    SetCurrentPath(u"");
    return;
  }
  if (ReadOption(Options().Shuffle)) {
    Generator().Seed(platform::GetTickCount());
    list.playlistIndex = DrawIndex(list.playlistCount);
  }
  TakeEntry(list.playlistIndex);
}

void NextPlaylistItem() {
  Playlist& list = ThePlaylist();
  if (list.playlistCount == 0) return;
  if (!ReadOption(Options().Shuffle)) {
    list.playlistIndex += 1;
    if (list.playlistIndex > list.playlistCount - 1) list.playlistIndex = 0;
  } else if (list.playlistCount > 1) {
    // With one entry no other exists: it is taken again.
    Generator().Seed(platform::GetTickCount());
    std::int32_t index = list.playlistIndex;
    while (index == list.playlistIndex) index = DrawIndex(list.playlistCount);
    list.playlistIndex = index;
  }
  TakeEntry(list.playlistIndex);
  State().autoStart = 1;
}

void ClearPlaylist() {
  Playlist& list = ThePlaylist();
  list.playlistCount = 0;
  list.playlistIndex = 0;
}

}  // namespace mivora
