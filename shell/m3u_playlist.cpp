#include "shell/m3u_playlist.h"

#include <algorithm>
#include <string>

#include "platform/wide_string.h"
#include "shell/playlist.h"
#include "shell/playlist_file.h"

namespace mivora {

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(text[i]) != prefix[i]) return false;
  return true;
}

// "scheme://": a letter, then letters, digits, "+", "-" or ".", then "://".
bool IsAddress(std::string_view line) {
  const std::size_t colon = line.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!letter(line[0])) return false;
  return std::all_of(line.begin(), line.begin() + colon, [&](char c) {
    return letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
  });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "file:///a%20b" and "file://localhost/a%20b" are "/a b"; another host is no local file, so the
// address stays as written and fails to load like any other unreachable entry.
std::string FileAddressPath(std::string_view address) {
  std::string_view rest = address.substr(7);
  if (StartsWithNoCase(rest, "localhost/")) rest.remove_prefix(9);
  if (rest.empty() || rest.front() != '/') return std::string(address);
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const int high = rest[i] == '%' && i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(rest[i + 2]) : -1;
    if (low >= 0) {
      path += char(high * 16 + low);
      i += 2;
    } else {
      path += rest[i];
    }
  }
  return path;
}

std::u16string EntryPath(std::string_view line, std::u16string_view folder) {
  if (StartsWithNoCase(line, "file://")) return platform::FromUtf8(FileAddressPath(line));
  std::u16string path = platform::FromUtf8(line);
  if (IsAddress(line) || line.front() == '/' || folder.empty()) return path;
  std::u16string joined(folder);
  if (joined.back() != u'/') joined += u'/';
  return joined + path;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsM3uPath(std::u16string_view path) {
  const auto endsWith = [path](std::u16string_view tail) {
    if (path.size() < tail.size()) return false;
    for (std::size_t i = 0; i < tail.size(); ++i) {
      char16_t c = path[path.size() - tail.size() + i];
      if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
      if (c != tail[i]) return false;
    }
    return true;
  };
  return endsWith(u".m3u") || endsWith(u".m3u8");
}

void ReadM3u(std::string_view text, std::u16string_view folder) {
  Playlist& list = ThePlaylist();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && list.playlistCount < kPlaylistEntries) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end);
    if (text.substr(0, 2) == "\r\n") {
      text.remove_prefix(2);
    } else if (!text.empty()) {
      text.remove_prefix(1);
    }
    // A zero inside would end the entry early, and a cut path names another file.
    if (line.empty() || line.front() == '#' || line.find('\0') != std::string_view::npos) continue;
    const std::u16string path = EntryPath(line, folder);
    if (path.empty() || path.size() >= std::size_t(kPathChars)) continue;
    char16_t* entry = list.entries[list.playlistCount];
    std::copy(path.begin(), path.end(), entry);
    entry[path.size()] = 0;
    ++list.playlistCount;
  }
}

bool ReadM3uFile(std::u16string_view path) {
  std::string bytes;
  if (!ReadPlaylistFileBytes(path, bytes)) return false;
  const std::size_t slash = path.rfind(u'/');
  const std::u16string_view folder =
      slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1);
  ReadM3u(bytes, folder);
  return true;
}

}  // namespace mivora
