// Playlist text and the choice of the next item.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

#include "engine/player_state.h"
#include "platform/wide_string.h"
#include "shell/m3u_playlist.h"
#include "shell/player_options.h"
#include "shell/playlist.h"
#include "tests/engine/engine_fixture.h"

namespace mivora::test {
namespace {

TEST(Playlist, LinesLimitsAndOrder) {
  ClearPlaylist();
  Options() = PlayerOptions{};
  const std::u16string longLine(kPathChars, u'x');
  const std::u16string text = u"a.avi\r\nhttp://h/b.avi\r\n" + longLine + u"\r\nc.avi\r\nlast";
  ReadPlaylist(text.data(), text.size());
  // The line too long for an entry is left out; the last line without its return too.
  ASSERT_EQ(ThePlaylist().playlistCount, 3);
  ChooseFirstItem();
  EXPECT_EQ(CurrentPath(), u"a.avi");
  EXPECT_EQ(State().isStream.load(), 0);
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"http://h/b.avi");
  EXPECT_EQ(State().isStream.load(), 1);
  EXPECT_EQ(State().autoStart.load(), 1);
  NextPlaylistItem();
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"a.avi");  // 0, 1, 2, then 0 again

  // No more than 100 entries are kept.
  std::u16string many;
  for (int i = 0; i < 150; ++i) many += u"f.avi\r\n";
  ReadPlaylist(many.data(), many.size());
  EXPECT_EQ(ThePlaylist().playlistCount, kPlaylistEntries);
}

TEST(Playlist, HttpAndHttpsAddressesAreStreams) {
  EXPECT_TRUE(IsStreamPath(u"http://h/a.avi"));
  EXPECT_TRUE(IsStreamPath(u"https://h/a.avi"));
  EXPECT_FALSE(IsStreamPath(u"https:/h/a.avi"));
  EXPECT_FALSE(IsStreamPath(u"/media/https://a.avi"));
}

TEST(Playlist, ShuffleNeverRepeatsAndEndsWithOneEntry) {
  ClearPlaylist();
  Options() = PlayerOptions{};
  Options().Shuffle = 1;
  const std::u16string text = u"0\r\n1\r\n2\r\n";
  ReadPlaylist(text.data(), text.size());
  ChooseFirstItem();
  std::set<std::u16string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::u16string before = CurrentPath();
    NextPlaylistItem();
    EXPECT_NE(CurrentPath(), before);
    seen.insert(CurrentPath());
  }
  EXPECT_EQ(seen.size(), 3u);

  ClearPlaylist();
  const std::u16string one = u"only\r\n";
  ReadPlaylist(one.data(), one.size());
  ChooseFirstItem();
  NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"only");
  Options().Shuffle = 0;
}

std::vector<std::u16string> Entries() {
  std::vector<std::u16string> entries;
  for (int i = 0; i < ThePlaylist().playlistCount; ++i)
    entries.emplace_back(ThePlaylist().entries[i]);
  return entries;
}

TEST(M3uPlaylist, PathsAddressesAndCommentsAsPlayersWriteThem) {
  const std::string folder = TempPath("m3u") + "/lists";
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/Mix.M3U8";
  std::ofstream(path, std::ios::binary)
      << "\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:123,Artist - Title\r\nsub/a.avi\r\n\r\n   \n"
         "../b.avi\n/abs/c.mp3\rhttp://h/x.avi\nhttps://h/y.avi\n"
         "file:///tmp/with%20space/%C3%A9.avi\nfile://localhost/l.avi\nfile://far/f.avi\n"
         "\xC3\xA9t\xC3\xA9.avi\n\tpadded.avi  \nlast.avi";
  const std::u16string base = platform::FromUtf8(folder) + u"/";
  ClearPlaylist();
  ASSERT_TRUE(IsPlaylistPath(platform::FromUtf8(path)));
  ASSERT_TRUE(ReadPlaylistFile(platform::FromUtf8(path)));
  const std::vector<std::u16string> expected = {base + u"sub/a.avi",
                                                base + u"../b.avi",
                                                u"/abs/c.mp3",
                                                u"http://h/x.avi",
                                                u"https://h/y.avi",
                                                u"/tmp/with space/\u00E9.avi",
                                                u"/l.avi",
                                                u"file://far/f.avi",
                                                base + u"\u00E9t\u00E9.avi",
                                                base + u"padded.avi",
                                                base + u"last.avi"};
  EXPECT_EQ(Entries(), expected);
  Options() = PlayerOptions{};
  ChooseFirstItem();
  for (int i = 0; i < 3; ++i) NextPlaylistItem();
  EXPECT_EQ(CurrentPath(), u"http://h/x.avi");
  EXPECT_EQ(State().isStream.load(), 1);
  EXPECT_FALSE(IsPlaylistPath(u"film.m3u.avi"));
}

TEST(M3uPlaylist, LimitsAndFilesThatAreNoPlaylists) {
  // 100 entries at most; a path that comes to 200 characters is left out, 199 kept.
  ClearPlaylist();
  const std::u16string folder = u"/f/";
  const std::string fits(kPathChars - 1 - folder.size(), 'x');
  std::string text = fits + "\n" + fits + "y\n" + std::string("cut\0.avi\n", 9);
  for (int i = 0; i < 150; ++i) text += "n.avi\n";
  ReadM3u(text, folder);
  ASSERT_EQ(ThePlaylist().playlistCount, kPlaylistEntries);
  EXPECT_EQ(Entries()[0].size(), std::size_t(kPathChars - 1));
  EXPECT_EQ(Entries()[1], u"/f/n.avi");

  // Missing, a folder, a pipe: refused without waiting; 3 MiB without a line end: one line too
  // long, nothing taken.
  ClearPlaylist();
  const std::string base = TempPath("m3u_bad");
  EXPECT_FALSE(ReadPlaylistFile(platform::FromUtf8(base + "missing.m3u")));
  std::filesystem::create_directories(base + "dir.m3u");
  EXPECT_FALSE(ReadPlaylistFile(platform::FromUtf8(base + "dir.m3u")));
  ASSERT_EQ(mkfifo((base + "pipe.pdl").c_str(), 0600), 0);
  EXPECT_FALSE(ReadPlaylistFile(platform::FromUtf8(base + "pipe.pdl")));
  std::ofstream(base + "big.m3u", std::ios::binary) << std::string(3 << 20, 'z');
  EXPECT_TRUE(ReadPlaylistFile(platform::FromUtf8(base + "big.m3u")));
  EXPECT_EQ(ThePlaylist().playlistCount, 0);
  std::filesystem::remove(base + "pipe.pdl");
}

}  // namespace
}  // namespace mivora::test
